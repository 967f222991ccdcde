// Material colours and textures in the link's pixel format, from well-formed and broken host
// images.
#include <cmath>
#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <limits>

#include "scene/TextureImage.h"

namespace {

constexpr uint32_t kColour = 0xFF336699;

VGS::HostMaterialImage Image(int32_t width, int32_t height, uint32_t channels, uint32_t format,
                             const void* samples) {
  return {width, height, channels, format, samples};
}

const VGS::HostMaterialImage kNoImage{0, 0, 0, 0, nullptr};

TEST(PackColour, TruncatesEachComponentAndKeepsItInItsOwnByte) {
  EXPECT_EQ(packColour(1.0, 0.5, 0.0, 1.0), 0xFFFF7F00u);
  EXPECT_EQ(packColour(0.999, 0.0, 1.0, 0.0), 0x00FE00FFu);
  // Out-of-range and NaN components must not spill into the neighbouring byte.
  EXPECT_EQ(packColour(2.0, -1.0, std::nan(""), 1.5), 0xFFFF0000u);
}

TEST(TextureImage, NoSamplesInEitherImageMeansNoTexture) {
  const uint8_t grey[4] = {1, 2, 3, 4};
  EXPECT_TRUE(buildTextureImage(kNoImage, kNoImage, kColour).pixels.empty());
  EXPECT_TRUE(buildTextureImage(Image(2, 2, 1, 0, nullptr), Image(2, 2, 1, 0, nullptr), kColour)
                  .pixels.empty());
  // An opacity image with samples but no area gives an empty texture too.
  const TextureImage empty = buildTextureImage(kNoImage, Image(0, 5, 1, 0, grey), kColour);
  EXPECT_TRUE(empty.pixels.empty());
}

TEST(TextureImage, UnusableColourImageBecomesTheOpaqueColour) {
  const uint8_t one[3] = {9, 9, 9};
  const TextureImage single = buildTextureImage(Image(1, 1, 3, 0, one), kNoImage, 0x00336699);
  EXPECT_EQ(single.width, 128u);
  EXPECT_EQ(single.height, 128u);
  EXPECT_EQ(single.pixels, std::vector<uint32_t>(128 * 128, 0xFF336699u));

  // Negative, zero and overflowing sizes, and missing channels, are never read.
  for (const auto& image : {Image(-4, 4, 3, 0, one), Image(4, 0, 3, 0, one),
                            Image(4, 4, 0, 0, one), Image(0x7FFFFFFF, 0x7FFFFFFF, 3, 0, one)}) {
    const TextureImage texture = buildTextureImage(image, kNoImage, kColour);
    EXPECT_EQ(texture.width, 128u);
    EXPECT_EQ(texture.pixels.front(), kColour);
  }

  // Sized after the opacity image, whose alpha it then takes.
  std::vector<uint8_t> opacity(64 * 32);
  for (size_t i = 0; i < opacity.size(); ++i) opacity[i] = static_cast<uint8_t>(i);
  const TextureImage sized = buildTextureImage(kNoImage, Image(64, 32, 1, 0, opacity.data()), kColour);
  EXPECT_EQ(sized.width, 64u);
  EXPECT_EQ(sized.height, 32u);
  EXPECT_EQ(sized.pixels[0], 0x00336699u);
  EXPECT_EQ(sized.pixels[200], 0xC8336699u);

  // An opacity image with a size that cannot be read leaves the 128 × 128 colour alone.
  const TextureImage fallback =
      buildTextureImage(kNoImage, Image(-64, 32, 1, 0, opacity.data()), kColour);
  EXPECT_EQ(fallback.width, 128u);
  EXPECT_EQ(fallback.pixels.back(), kColour);
}

TEST(TextureImage, ReadsGreyRgbAndRgbaInBytesAndFloats) {
  const uint8_t grey[4] = {10, 20, 30, 40};
  EXPECT_EQ(buildTextureImage(Image(2, 2, 1, 0, grey), kNoImage, kColour).pixels,
            (std::vector<uint32_t>{0xFF0A0A0A, 0xFF141414, 0xFF1E1E1E, 0xFF282828}));
  const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(buildTextureImage(Image(2, 1, 3, 0, rgb), kNoImage, kColour).pixels,
            (std::vector<uint32_t>{0xFF010203, 0xFF040506}));
  const uint8_t rgba[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(buildTextureImage(Image(1, 2, 4, 0, rgba), kNoImage, kColour).pixels,
            (std::vector<uint32_t>{0x04010203, 0x08050607}));
  const float floats[8] = {1.0f, 0.5f, 0.0f, 0.25f, 0.1f, 0.2f, 0.3f, 1.0f};
  EXPECT_EQ(buildTextureImage(Image(2, 1, 4, 1, floats), kNoImage, kColour).pixels,
            (std::vector<uint32_t>{0x3FFF7F00, 0xFF19334C}));
}

TEST(TextureImage, UnknownChannelCountOrFormatGivesTheColourEverywhere) {
  const uint8_t samples[16] = {200, 200, 200, 200, 200, 200, 200, 200,
                               200, 200, 200, 200, 200, 200, 200, 200};
  for (const auto& image : {Image(2, 2, 2, 0, samples), Image(2, 2, 5, 0, samples),
                            Image(2, 2, 3, 7, samples)}) {
    const TextureImage texture = buildTextureImage(image, kNoImage, 0x00112233);
    EXPECT_EQ(texture.width, 2u);
    EXPECT_EQ(texture.pixels, std::vector<uint32_t>(4, 0xFF112233u));
  }
}

TEST(TextureImage, OpacityOfTheSameSizeIsUsedAsItIs) {
  const uint8_t rgb[12] = {0};
  const uint8_t alphaBytes[4] = {0, 85, 170, 255};
  EXPECT_EQ(buildTextureImage(Image(2, 2, 3, 0, rgb), Image(2, 2, 1, 0, alphaBytes), kColour).pixels,
            (std::vector<uint32_t>{0x00000000, 0x55000000, 0xAA000000, 0xFF000000}));
  const float alphaFloats[4] = {0.0f, 0.5f, 1.0f, 0.2f};
  EXPECT_EQ(buildTextureImage(Image(2, 2, 3, 0, rgb), Image(2, 2, 1, 1, alphaFloats), kColour).pixels,
            (std::vector<uint32_t>{0x00000000, 0x7F000000, 0xFF000000, 0x33000000}));
  // More than one channel, or an unknown format: not an opacity image.
  EXPECT_EQ(buildTextureImage(Image(2, 2, 3, 0, rgb), Image(2, 2, 3, 0, rgb), kColour).pixels,
            std::vector<uint32_t>(4, 0xFF000000u));
  EXPECT_EQ(buildTextureImage(Image(2, 2, 3, 0, rgb), Image(2, 2, 1, 9, alphaBytes), kColour).pixels,
            std::vector<uint32_t>(4, 0xFF000000u));
}

TEST(TextureImage, OpacityOfAnotherSizeIsResampledOnlyFromBytes) {
  std::vector<uint8_t> rgb(256 * 256 * 3, 0x40);
  std::vector<float> floatAlpha(128 * 128, 0.5f);
  const TextureImage ignored = buildTextureImage(
      Image(256, 256, 3, 0, rgb.data()), Image(128, 128, 1, 1, floatAlpha.data()), kColour);
  EXPECT_EQ(ignored.pixels, std::vector<uint32_t>(256 * 256, 0xFF404040u));

  std::vector<uint8_t> alpha(128 * 128);
  for (size_t row = 0; row < 128; ++row) {
    for (size_t column = 0; column < 128; ++column) alpha[row * 128 + column] = static_cast<uint8_t>(column + row);
  }
  const TextureImage resampled = buildTextureImage(Image(256, 256, 3, 0, rgb.data()),
                                                   Image(128, 128, 1, 0, alpha.data()), kColour);
  // Step 127 / 256 on both axes; the value is truncated, not rounded. The opacity rises by one a
  // column and one a row, so pixel (x, y) holds (x + y) · 127 / 256 cut to a whole number.
  const uint64_t columns[] = {0, 1, 5, 200, 255};
  const std::pair<uint64_t, std::array<uint32_t, 5>> rows[] = {{0, {0, 0, 2, 99, 126}},
                                                               {1, {0, 0, 2, 99, 127}},
                                                               {3, {1, 1, 3, 100, 127}},
                                                               {100, {49, 50, 52, 148, 176}},
                                                               {255, {126, 127, 128, 225, 253}}};
  for (const auto& [y, alphas] : rows) {
    for (size_t i = 0; i < 5; ++i) {
      const uint64_t x = columns[i];
      EXPECT_EQ(resampled.pixels[y * 256 + x] >> 24, alphas[i]) << x << "," << y;
      EXPECT_EQ(resampled.pixels[y * 256 + x] & 0xFFFFFF, 0x404040u);
    }
  }
  EXPECT_EQ(resampled.pixels[3 * 256 + 1] >> 24, 1u);  // (0.496 + 1.488) truncated

  // A one-pixel-wide opacity image is stretched without reading past its single column.
  const uint8_t column[2] = {100, 200};
  const TextureImage narrow =
      buildTextureImage(Image(4, 4, 3, 0, rgb.data()), Image(1, 2, 1, 0, column), kColour);
  EXPECT_EQ(narrow.pixels[3] >> 24, 100u);
  EXPECT_EQ(narrow.pixels[1 * 4 + 3] >> 24, 125u);  // fy = 0.25 between the two rows
}

TEST(TextureImage, EachAxisOfTheOpacityIsResampledWithItsOwnStep) {
  // 4 wide and 5 high onto 4 × 2: the same width, so only a rule that asks for both sides to
  // match takes it as it is; step 3/4 across, 4/2 down; alpha 40 a row and 10 a column.
  uint8_t alpha[20];
  for (int row = 0; row < 5; ++row) {
    for (int column = 0; column < 4; ++column) alpha[row * 4 + column] = static_cast<uint8_t>(40 * row + 10 * column);
  }
  const uint8_t rgb[4 * 2 * 3] = {0};
  const TextureImage texture =
      buildTextureImage(Image(4, 2, 3, 0, rgb), Image(4, 5, 1, 0, alpha), kColour);
  std::vector<uint32_t> alphas;
  for (const uint32_t pixel : texture.pixels) alphas.push_back(pixel >> 24);
  EXPECT_EQ(alphas, (std::vector<uint32_t>{0, 7, 15, 22, 80, 87, 95, 102}));

  // A single opacity pixel spreads everywhere, its missing neighbours never read.
  const std::vector<uint8_t> single{77};
  const TextureImage spread =
      buildTextureImage(Image(4, 2, 3, 0, rgb), Image(1, 1, 1, 0, single.data()), kColour);
  for (const uint32_t pixel : spread.pixels) EXPECT_EQ(pixel >> 24, 77u);
}

}  // namespace
