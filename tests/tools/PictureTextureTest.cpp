// Texture pixels for the renderer's picture, from bitmap bytes of the other process and from image
// files on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/ImageEncoder.h"
#include "tests/support/TestEnvironment.h"
#include "tools/renderer/PictureTexture.h"

namespace {

// A 2×2 bitmap file with the given rows of B, G, R (, A) bytes, as the texture slot writes it
// (negative height: top row first) or in the usual bottom-up order.
std::vector<uint8_t> Bitmap(int32_t height, uint16_t bits, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file(54 + pixels.size());
  file[0] = 'B', file[1] = 'M';
  const uint32_t pixelOffset = 54, infoSize = 40;
  std::memcpy(&file[10], &pixelOffset, 4);
  std::memcpy(&file[14], &infoSize, 4);
  const int32_t width = 2;
  std::memcpy(&file[18], &width, 4);
  std::memcpy(&file[22], &height, 4);
  std::memcpy(&file[28], &bits, 2);
  std::copy(pixels.begin(), pixels.end(), file.begin() + 54);
  return file;
}

// Red, green / blue, white as R G B A, top row first.
const std::vector<uint8_t> kExpected = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};

TEST(PictureTexture, BitmapsDecodeTopRowFirstInRedGreenBlueOrder) {
  const std::vector<uint8_t> top = {0, 0, 255, 0, 255, 0}, bottom = {255, 0, 0, 255, 255, 255};
  std::vector<uint8_t> topDown = top, bottomUp = bottom;
  topDown.insert(topDown.end(), bottom.begin(), bottom.end());
  bottomUp.insert(bottomUp.end(), top.begin(), top.end());
  for (const std::vector<uint8_t>& file : {Bitmap(-2, 24, topDown), Bitmap(2, 24, bottomUp)}) {
    const std::optional<PictureTexture> image = DecodeBitmapFile(file);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2u);
    EXPECT_EQ(image->height, 2u);
    EXPECT_FALSE(image->hasAlpha);
    EXPECT_EQ(image->rgba.items(), kExpected);
  }
  const std::optional<PictureTexture> withAlpha =
      DecodeBitmapFile(Bitmap(-1, 32, {0, 0, 255, 7, 0, 255, 0, 9}));
  ASSERT_TRUE(withAlpha);
  EXPECT_TRUE(withAlpha->hasAlpha);
  EXPECT_EQ(withAlpha->rgba.items(), (std::vector<uint8_t>{255, 0, 0, 7, 0, 255, 0, 9}));
}

TEST(PictureTexture, ABitmapWhosePixelsDoNotFitGivesNothing) {
  const std::vector<uint8_t> pixels(12, 0);
  EXPECT_FALSE(DecodeBitmapFile(Bitmap(-2, 24, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})));  // one byte short
  EXPECT_FALSE(DecodeBitmapFile(Bitmap(-2, 16, pixels)));
  EXPECT_FALSE(DecodeBitmapFile(Bitmap(0, 24, pixels)));
  EXPECT_FALSE(DecodeBitmapFile(Bitmap(INT32_MIN, 24, pixels)));  // rows far beyond the bytes
  std::vector<uint8_t> notBitmap = Bitmap(-2, 24, pixels);
  notBitmap[0] = 'P';
  EXPECT_FALSE(DecodeBitmapFile(notBitmap));
  EXPECT_FALSE(DecodeBitmapFile(std::span<const uint8_t>(Bitmap(-2, 24, pixels)).first(53)));
}

class TextureFileTest : public TestEnvironment {};

TEST_F(TextureFileTest, AnImageFileLoadsAndAnythingElseGivesNothing) {
  const std::filesystem::path png = scratch() / "four.png";
  ASSERT_TRUE(platform::EncodePngPixels(2, 2, kExpected, png.u16string()));
  const std::optional<PictureTexture> image = LoadTextureFile(png.u16string());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 2u);
  EXPECT_EQ(image->rgba.items(), kExpected);

  std::ofstream(scratch() / "not.png") << "not an image";
  EXPECT_FALSE(LoadTextureFile((scratch() / "not.png").u16string()));
  EXPECT_FALSE(LoadTextureFile((scratch() / "missing.png").u16string()));
  EXPECT_FALSE(LoadTextureFile(scratch().u16string()));
}

}  // namespace
