#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <png.h>
#include <turbojpeg.h>

#include "platform/ImageEncoder.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A bitmap file laid out by hand: "BM", sizes, 40-byte info header, rows without padding.
std::vector<uint8_t> MakeBitmap(int32_t width, int32_t height, uint16_t bitsPerPixel, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file(54 + pixels.size(), 0);
  auto put32 = [&](size_t offset, uint32_t value) { std::memcpy(&file[offset], &value, 4); };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(54 + pixels.size()));
  std::memcpy(&file[6], "TLBD", 4);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  file[26] = 1;
  file[28] = static_cast<uint8_t>(bitsPerPixel);
  put32(34, static_cast<uint32_t>(pixels.size()));
  std::copy(pixels.begin(), pixels.end(), file.begin() + 54);
  return file;
}

class ImageEncoderTest : public TestEnvironment {
protected:
  std::u16string Path(const char* name) const { return platform::Utf16FromUtf8((scratch() / name).string()); }

  static std::vector<uint8_t> DecodePngRgba(const std::filesystem::path& path, png_uint_32& width, png_uint_32& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    width = image.width;
    height = image.height;
    return pixels;
  }
};

TEST_F(ImageEncoderTest, PngKeepsEveryPixelWithAlphaInTopDownOrder) {
  // Two rows, top row red then half-transparent green; bottom row blue then white. Stored B, G, R, A.
  const std::vector<uint8_t> pixels = {0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255, 255, 255, 255, 0};
  ASSERT_TRUE(platform::EncodePng(MakeBitmap(2, -2, 32, pixels), Path("top.png")));
  png_uint_32 width = 0, height = 0;
  const auto rgba = DecodePngRgba(scratch() / "top.png", width, height);
  ASSERT_EQ(width, 2u);
  ASSERT_EQ(height, 2u);
  EXPECT_EQ(rgba, (std::vector<uint8_t>{255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 255, 255, 255, 0}));

  // The same rows stored bottom-up come out the same way round.
  const std::vector<uint8_t> bottomUp = {255, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 255, 0, 128};
  ASSERT_TRUE(platform::EncodePng(MakeBitmap(2, 2, 32, bottomUp), Path("bottom.png")));
  EXPECT_EQ(DecodePngRgba(scratch() / "bottom.png", width, height), rgba);
}

TEST_F(ImageEncoderTest, JpegDecodesCloseToTheColoursAtTheGivenQuality) {
  const int size = 16;
  std::vector<uint8_t> pixels;
  for (int pixel = 0; pixel < size * size; ++pixel) pixels.insert(pixels.end(), {40, 120, 200});  // B, G, R
  ASSERT_TRUE(platform::EncodeJpeg(MakeBitmap(size, -size, 24, pixels), 90, Path("flat.jpg")));
  const std::string jpeg = ReadFile(scratch() / "flat.jpg");
  tjhandle decompressor = tjInitDecompress();
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  ASSERT_EQ(tjDecompressHeader3(decompressor, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), &width,
                                &height, &subsampling, &colourspace), 0);
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  ASSERT_EQ(tjDecompress2(decompressor, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), rgb.data(),
                          width, 0, height, TJPF_RGB, 0), 0);
  tjDestroy(decompressor);
  EXPECT_EQ(width, size);
  EXPECT_EQ(height, size);
  EXPECT_NEAR(rgb[0], 200, 3);
  EXPECT_NEAR(rgb[1], 120, 3);
  EXPECT_NEAR(rgb[2], 40, 3);
}

}  // namespace
