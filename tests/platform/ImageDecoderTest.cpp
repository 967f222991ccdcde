// The image unit's round trip: what the encoders write, the decoder gives back. Pixels are
// compared, never bytes, since another backend's encoder writes other files.
#include "platform/ImageDecoder.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/ImageEncoder.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"

namespace {

// An in-memory bitmap file, top-down, of B, G, R(, A) pixels.
std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, uint16_t bitsPerPixel, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file(54);
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
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
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

}  // namespace
