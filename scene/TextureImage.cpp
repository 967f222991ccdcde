#include "scene/TextureImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t kFallbackSize = 128;
constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t unitToByte(double value) {
  if (!(value > 0.0)) return 0;  // also NaN
  if (value >= 1.0) return 255;
  return static_cast<uint32_t>(value * 255.0);
}

uint32_t pack(uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
  return alpha << 24 | red << 16 | green << 8 | blue;
}

// Zero is a size (of nothing); negative sizes and more pixels than the link carries are not.
bool hasReadableSize(const VGS::HostMaterialImage& image) {
  return image.width >= 0 && image.height >= 0 &&
         static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) <=
             kMaxTexturePixels;
}

bool hasUsableSize(const VGS::HostMaterialImage& image) {
  return hasReadableSize(image) && image.width > 0 && image.height > 0;
}

bool isUsableColourImage(const VGS::HostMaterialImage& image) {
  return image.samples && hasUsableSize(image) && image.channelCount != 0 &&
         !(image.width == 1 && image.height == 1);
}

bool isKnownFormat(uint32_t sampleFormat) {
  return sampleFormat == VGS::kSampleUnsignedByte || sampleFormat == VGS::kSampleFloat;
}

// Sample `index` of the image as 0 to 255.
uint32_t sampleByte(const VGS::HostMaterialImage& image, uint64_t index) {
  if (image.sampleFormat == VGS::kSampleUnsignedByte) {
    return static_cast<const uint8_t*>(image.samples)[index];
  }
  float value;
  std::memcpy(&value, static_cast<const uint8_t*>(image.samples) + index * sizeof(float),
              sizeof(float));
  return unitToByte(value);
}

TextureImage filledImage(uint64_t width, uint64_t height, uint32_t pixel) {
  return {width, height, std::vector<uint32_t>(width * height, pixel)};
}

TextureImage readColourImage(const VGS::HostMaterialImage& image, uint32_t base) {
  TextureImage texture = filledImage(image.width, image.height, base);
  const uint32_t channels = image.channelCount;
  // Any other layout repeats the previous pixel throughout, which starts as the colour.
  if (!isKnownFormat(image.sampleFormat) || (channels != 1 && channels != 3 && channels != 4)) {
    return texture;
  }
  for (uint64_t pixel = 0; pixel < texture.pixels.size(); ++pixel) {
    const uint64_t first = pixel * channels;
    const uint32_t red = sampleByte(image, first);
    const uint32_t green = channels == 1 ? red : sampleByte(image, first + 1);
    const uint32_t blue = channels == 1 ? red : sampleByte(image, first + 2);
    const uint32_t alpha = channels == 4 ? sampleByte(image, first + 3) : 255;
    texture.pixels[pixel] = pack(alpha, red, green, blue);
  }
  return texture;
}

void setAlpha(uint32_t& pixel, uint32_t alpha) { pixel = (pixel & 0x00FFFFFFu) | alpha << 24; }

// Bilinear, with the step (w − 1) / W so that the last output column stays short of the last
// input column. The right and lower neighbours are clamped to the image, which matters only for
// a one-pixel-wide or -high input where their weight is zero.
void applyResampledOpacity(TextureImage& texture, const VGS::HostMaterialImage& opacity) {
  const uint64_t inWidth = opacity.width, inHeight = opacity.height;
  const auto* samples = static_cast<const uint8_t*>(opacity.samples);
  const auto sample = [&](uint64_t column, uint64_t row) -> double {
    return samples[row * inWidth + column];
  };
  const double stepX = static_cast<double>(inWidth - 1) / static_cast<double>(texture.width);
  const double stepY = static_cast<double>(inHeight - 1) / static_cast<double>(texture.height);
  for (uint64_t y = 0; y < texture.height; ++y) {
    const double fy = static_cast<double>(y) * stepY;
    const uint64_t iy = static_cast<uint64_t>(std::floor(fy));
    const uint64_t iyNext = std::min(iy + 1, inHeight - 1);
    const double dy = fy - static_cast<double>(iy);
    for (uint64_t x = 0; x < texture.width; ++x) {
      const double fx = static_cast<double>(x) * stepX;
      const uint64_t ix = static_cast<uint64_t>(std::floor(fx));
      const uint64_t ixNext = std::min(ix + 1, inWidth - 1);
      const double dx = fx - static_cast<double>(ix);
      const double value = sample(ix, iy) * (1 - dx) * (1 - dy) + sample(ixNext, iy) * dx * (1 - dy) +
                           sample(ix, iyNext) * (1 - dx) * dy + sample(ixNext, iyNext) * dx * dy;
      setAlpha(texture.pixels[y * texture.width + x], static_cast<uint32_t>(value));
    }
  }
}

void applyOpacity(TextureImage& texture, const VGS::HostMaterialImage& opacity) {
  if (!opacity.samples || opacity.channelCount != 1 || !hasUsableSize(opacity) ||
      !isKnownFormat(opacity.sampleFormat)) {
    return;
  }
  const bool sameSize = static_cast<uint64_t>(opacity.width) == texture.width &&
                        static_cast<uint64_t>(opacity.height) == texture.height;
  if (sameSize) {
    for (uint64_t pixel = 0; pixel < texture.pixels.size(); ++pixel) {
      setAlpha(texture.pixels[pixel], sampleByte(opacity, pixel));
    }
  } else if (opacity.sampleFormat == VGS::kSampleUnsignedByte) {
    applyResampledOpacity(texture, opacity);
  }
}

}  // namespace

uint32_t packColour(double red, double green, double blue, double alpha) {
  return pack(unitToByte(alpha), unitToByte(red), unitToByte(green), unitToByte(blue));
}

TextureImage buildTextureImage(const VGS::HostMaterialImage& colourImage,
                               const VGS::HostMaterialImage& opacityImage, uint32_t colour) {
  if (!colourImage.samples && !opacityImage.samples) return {};
  const uint32_t base = colour | kOpaque;
  TextureImage texture;
  if (isUsableColourImage(colourImage)) {
    texture = readColourImage(colourImage, base);
  } else if (opacityImage.samples && hasReadableSize(opacityImage)) {
    // An opacity image without area gives a texture without pixels, that is none.
    texture = filledImage(opacityImage.width, opacityImage.height, base);
  } else {
    texture = filledImage(kFallbackSize, kFallbackSize, base);
  }
  applyOpacity(texture, opacityImage);
  return texture;
}
