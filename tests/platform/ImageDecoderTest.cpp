// The image unit's round trip: what the encoders write, the decoder gives back. Pixels are
// compared, never bytes, since another backend's encoder writes other files.
#include "platform/ImageDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/ImageEncoder.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"

namespace {

// An in-memory bitmap file, top-down, of B, G, R(, A) pixels.
std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, uint16_t bitsPerPixel, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file(54 + pixels.size());
  const auto put = [&file](size_t offset, auto value) { std::memcpy(&file[offset], &value, sizeof(value)); };
  file[0] = 'B';
  file[1] = 'M';
  put(2, uint32_t(54 + pixels.size()));
  put(10, uint32_t(54));
  put(14, uint32_t(40));
  put(18, width);
  put(22, -height);
  put(26, uint16_t(1));
  put(28, bitsPerPixel);
  std::copy(pixels.begin(), pixels.end(), file.begin() + 54);
  return file;
}

// A PNG written by hand, so that the decoder meets what our encoders never write: a palette with
// transparency, a header whose size is out of bounds. The image data is one stored (uncompressed)
// deflate block of `rows`, each row starting with its filter byte.
uint32_t Crc32(const uint8_t* bytes, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t index = 0; index < size; ++index) {
    crc ^= bytes[index];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  PutBigEndian(png, uint32_t(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBigEndian(png, Crc32(&png[start], png.size() - start));
}

std::vector<uint8_t> HandMadePng(uint32_t width, uint32_t height, uint8_t colourType,
                                 const std::vector<std::pair<const char*, std::vector<uint8_t>>>& extraChunks,
                                 const std::vector<uint8_t>& rows) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian(header, width);
  PutBigEndian(header, height);
  header.insert(header.end(), {8, colourType, 0, 0, 0});
  PutChunk(png, "IHDR", header);
  for (const auto& [type, data] : extraChunks) PutChunk(png, type, data);
  std::vector<uint8_t> deflated = {0x78, 0x01, 0x01, uint8_t(rows.size()), uint8_t(rows.size() >> 8),
                                   uint8_t(~rows.size()), uint8_t(~rows.size() >> 8)};
  deflated.insert(deflated.end(), rows.begin(), rows.end());
  uint32_t a = 1, b = 0;  // Adler-32 of the rows
  for (const uint8_t byte : rows) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(deflated, b << 16 | a);
  PutChunk(png, "IDAT", deflated);
  PutChunk(png, "IEND", {});
  return png;
}

class ImageDecoderTest : public TestEnvironment {
protected:
  std::vector<uint8_t> ReadBytes(const std::string& name) const {
    const std::string text = ReadFile(scratch() / name);
    return {text.begin(), text.end()};
  }
  std::u16string Path(const std::string& name) const { return platform::Utf16FromUtf8((scratch() / name).string()); }
};

TEST_F(ImageDecoderTest, PngPixelsComeBackExactlyWithAlphaAndInTheirOrder) {
  // Two rows of two pixels, every channel different, so a swapped channel or row shows.
  const std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 10, 20, 30, 40};
  ASSERT_TRUE(platform::EncodePngPixels(2, 2, rgba, Path("pixels.png")));
  std::string error;
  const auto image = platform::DecodeImage(ReadBytes("pixels.png"), error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->width, 2u);
  EXPECT_EQ(image->height, 2u);
  EXPECT_EQ(image->channelCount, 4u);
  EXPECT_EQ(image->samples, rgba);
}

TEST_F(ImageDecoderTest, BitmapsEncodedAsPngOrJpegDecodeToRedGreenBlue) {
  // B, G, R in the bitmap; R, G, B decoded.
  const std::vector<uint8_t> bgr = {30, 20, 200, 30, 20, 200, 30, 20, 200, 30, 20, 200};
  const std::vector<uint8_t> bitmap = BitmapFile(2, 2, 24, bgr);
  ASSERT_TRUE(platform::EncodePng(bitmap, Path("opaque.png")));
  ASSERT_TRUE(platform::EncodeJpeg(bitmap, 100, Path("opaque.jpg")));
  std::string error;
  const auto png = platform::DecodeImage(ReadBytes("opaque.png"), error);
  ASSERT_TRUE(png) << error;
  EXPECT_EQ(png->channelCount, 3u);
  EXPECT_EQ(png->samples, (std::vector<uint8_t>{200, 20, 30, 200, 20, 30, 200, 20, 30, 200, 20, 30}));
  const auto jpeg = platform::DecodeImage(ReadBytes("opaque.jpg"), error);
  ASSERT_TRUE(jpeg) << error;
  EXPECT_EQ(jpeg->channelCount, 3u);
  ASSERT_EQ(jpeg->samples.size(), 12u);
  for (size_t index = 0; index < 12; ++index) {
    EXPECT_NEAR(jpeg->samples[index], png->samples[index], 4) << index;  // JPEG rounds
  }
}

TEST_F(ImageDecoderTest, DamagedTruncatedOrUnknownDataGivesNothingAndAReason) {
  const std::vector<uint8_t> rgba(4 * 4 * 4, 77);
  ASSERT_TRUE(platform::EncodePngPixels(4, 4, rgba, Path("whole.png")));
  const std::vector<uint8_t> whole = ReadBytes("whole.png");
  std::string error;
  for (const size_t length : {size_t(0), size_t(8), size_t(30), whole.size() - 13}) {
    error.clear();
    EXPECT_FALSE(platform::DecodeImage(std::span(whole.data(), length), error)) << length;
    EXPECT_FALSE(error.empty()) << length;
  }
  const std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
  EXPECT_FALSE(platform::DecodeImage(gif, error));
  const std::vector<uint8_t> brokenJpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0};
  EXPECT_FALSE(platform::DecodeImage(brokenJpeg, error));
}

TEST_F(ImageDecoderTest, PixelsThatDoNotFillThePictureAreRefusedAndLeaveNoFile) {
  const std::vector<uint8_t> rgba(2 * 2 * 4 - 1, 0);
  EXPECT_FALSE(platform::EncodePngPixels(2, 2, rgba, Path("short.png")));
  EXPECT_FALSE(platform::EncodePngPixels(0, 0, {}, Path("empty.png")));
  for (const char* name : {"short.png", "short.png.partial", "empty.png", "empty.png.partial"}) {
    EXPECT_FALSE(std::filesystem::exists(scratch() / name)) << name;
  }
}

TEST_F(ImageDecoderTest, MalformedBitmapsAreRefusedWithoutReadingPastTheBufferOrLeavingAFile) {
  const std::vector<uint8_t> pixels(2 * 2 * 4, 0x7F);
  const auto good = BitmapFile(2, 2, 32, pixels);
  const auto withField = [&good](size_t offset, auto value) {
    std::vector<uint8_t> file = good;
    std::memcpy(&file[offset], &value, sizeof(value));
    return file;
  };
  const std::vector<std::vector<uint8_t>> bad = {
      {},
      std::vector<uint8_t>(good.begin(), good.begin() + 53),
      std::vector<uint8_t>(good.begin(), good.end() - 1),  // one pixel byte short
      withField(0, uint8_t('X')),                          // not "BM"
      withField(18, int32_t(0)),                           // no width
      withField(22, int32_t(0)),                           // no height
      withField(18, int32_t(0x40000000)),                  // pixel bytes that wrap to 0 in 32 bits
      withField(22, INT32_MIN),                            // a height that cannot be negated
      withField(28, uint16_t(16)),                         // bits per pixel neither 24 nor 32
      withField(10, uint32_t(0xFFFFFFF0u)),                // pixels past the end
  };
  for (size_t index = 0; index < bad.size(); ++index) {
    EXPECT_FALSE(platform::EncodePng(bad[index], Path("bad.png"))) << "case " << index;
    EXPECT_FALSE(platform::EncodeJpeg(bad[index], 90, Path("bad.jpg"))) << "case " << index;
  }
  EXPECT_FALSE(platform::EncodeJpeg(good, 0, Path("bad.jpg"))) << "quality out of range";
  EXPECT_FALSE(platform::EncodeJpeg(good, 101, Path("bad.jpg"))) << "quality out of range";
  EXPECT_FALSE(platform::EncodePng(good, Path("missing-folder/x.png")));
  EXPECT_TRUE(std::filesystem::is_empty(scratch())) << "no partial or temporary file is left";
}

TEST_F(ImageDecoderTest, OddWidthBottomUpBitmapsKeepTheirRowsInBothFormats) {
  // 24-bit rows of 5 pixels are 15 bytes: a backend that assumes rows padded to four bytes, or
  // reads a bottom-up file top first, gets other pixels.
  const uint32_t width = 5, height = 3;
  std::vector<uint8_t> rgb;  // what the picture is, top row first
  for (int row = 0; row < int(height); ++row) {
    for (int column = 0; column < int(width); ++column) {
      // Brightness changes from pixel to pixel, hue does not: JPEG's halved colour resolution
      // then costs little, while a row or channel out of place costs 20 or more.
      const int brightness = 60 * row + 8 * column;
      rgb.insert(rgb.end(), {uint8_t(60 + brightness), uint8_t(30 + brightness), uint8_t(10 + brightness)});
    }
  }
  std::vector<uint8_t> bottomUpBgr;
  for (uint32_t row = height; row-- > 0;) {
    for (uint32_t column = 0; column < width; ++column) {
      const uint8_t* pixel = &rgb[(row * width + column) * 3];
      bottomUpBgr.insert(bottomUpBgr.end(), {pixel[2], pixel[1], pixel[0]});
    }
  }
  std::vector<uint8_t> bitmap = BitmapFile(width, height, 24, bottomUpBgr);
  const int32_t bottomUpHeight = height;
  std::memcpy(&bitmap[22], &bottomUpHeight, 4);
  ASSERT_TRUE(platform::EncodePng(bitmap, Path("odd.png")));
  ASSERT_TRUE(platform::EncodeJpeg(bitmap, 100, Path("odd.jpg")));
  std::string error;
  const auto png = platform::DecodeImage(ReadBytes("odd.png"), error);
  ASSERT_TRUE(png) << error;
  EXPECT_EQ(png->channelCount, 3u);
  EXPECT_EQ(png->samples, rgb);
  const auto jpeg = platform::DecodeImage(ReadBytes("odd.jpg"), error);
  ASSERT_TRUE(jpeg) << error;
  ASSERT_EQ(jpeg->width, width);
  ASSERT_EQ(jpeg->height, height);
  ASSERT_EQ(jpeg->samples.size(), rgb.size());
  for (size_t index = 0; index < rgb.size(); ++index) EXPECT_NEAR(jpeg->samples[index], rgb[index], 12) << index;
}

TEST_F(ImageDecoderTest, EncodersReplaceAnExistingFileAndTakeNonAsciiNames) {
  const std::vector<uint8_t> first = {1, 2, 3, 255};
  const std::vector<uint8_t> second = {9, 8, 7, 6};
  const std::filesystem::path target = scratch() / std::filesystem::path(u8"t\u00E9xture \u2713.png");
  const std::u8string utf8 = target.u8string();
  const std::u16string path = platform::Utf16FromUtf8({reinterpret_cast<const char*>(utf8.data()), utf8.size()});
  ASSERT_TRUE(platform::EncodePngPixels(1, 1, first, path));
  ASSERT_TRUE(platform::EncodePngPixels(1, 1, second, path));
  const std::string bytes = ReadFile(target);
  std::string error;
  const auto image = platform::DecodeImage({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->samples, second);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch()), {}), 1) << "no partial file is left";
}

TEST_F(ImageDecoderTest, APaletteWithTransparencyDecodesWithAlpha) {
  // Two palette entries, the second half transparent; rows: [0, 1] and [1, 0].
  const std::vector<uint8_t> palette = {255, 0, 0, 0, 0, 255};
  const std::vector<uint8_t> transparency = {255, 128};
  const std::vector<uint8_t> rows = {0, 0, 1, 0, 1, 0};
  const auto png = HandMadePng(2, 2, 3, {{"PLTE", palette}, {"tRNS", transparency}}, rows);
  std::string error;
  const auto image = platform::DecodeImage(png, error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->channelCount, 4u);
  EXPECT_EQ(image->samples, (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 128, 0, 0, 255, 128, 255, 0, 0, 255}));

  // The same picture without the transparency chunk has no alpha.
  const auto opaque = platform::DecodeImage(HandMadePng(2, 2, 3, {{"PLTE", palette}}, rows), error);
  ASSERT_TRUE(opaque) << error;
  EXPECT_EQ(opaque->channelCount, 3u);
  EXPECT_EQ(opaque->samples, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 0, 0, 255, 255, 0, 0}));
}

TEST_F(ImageDecoderTest, AHeaderClaimingAHugePictureIsRefusedBeforeItsPixels) {
  // 65536 × 65536 pixels from a few bytes of data: refused by size, not by running out of memory.
  const auto png = HandMadePng(65536, 65536, 6, {}, {0, 1, 2, 3, 4});
  std::string error;
  EXPECT_FALSE(platform::DecodeImage(png, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
