#pragma once

#include <cstdint>
#include <vector>

#include "sdk/VGSOperation.h"

// A material's texture in the link's pixel format: width × height 32-bit pixels, row by row,
// alpha in bits 24 to 31, then red, green, blue. No pixels means no texture.
struct TextureImage {
  uint64_t width = 0;
  uint64_t height = 0;
  std::vector<uint32_t> pixels;
};

// ARGB from host components of 0 to 1. Values outside that range (and NaN) are clamped to it, so
// no channel spills into its neighbour.
uint32_t packColour(double red, double green, double blue, double alpha);

// The texture of a material from its host images and packed colour:
// - no samples in either image: no texture;
// - a colour image without samples, without a usable size (positive, at most kMaxTexturePixels
//   pixels), without channels or of 1 × 1 pixel is replaced by the colour (opaque), at the opacity
//   image's size when that has samples and a size that is neither negative nor too large (an
//   empty one gives no texture), else 128 × 128;
// - otherwise its 1, 3 or 4 channels of bytes or 0-to-1 floats are read; another channel count or
//   sample format gives the colour;
// - a one-channel opacity image of bytes or floats then sets the alpha, resampled bilinearly when
//   it holds bytes of another size (a float image of another size is skipped).
// Reads at most width × height × channels samples of each image.
TextureImage buildTextureImage(const VGS::HostMaterialImage& colourImage,
                               const VGS::HostMaterialImage& opacityImage, uint32_t colour);

// The largest image the link carries: 4 bytes a pixel must fit a 32-bit size.
inline constexpr uint64_t kMaxTexturePixels = 0xFFFFFFFFull / 4;
