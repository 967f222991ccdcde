#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "tools/renderer/MirroredScene.h"

// A texture's pixels as the picture samples them: R, G, B, A per pixel, rows top first.
struct PictureTexture {
  uint32_t width = 0;
  uint32_t height = 0;
  bool hasAlpha = false;  // the source had an alpha channel
  SharedList<uint8_t> rgba;
};

// A bitmap file as a texture slot keeps a generated image: "BM", 24-bit (B, G, R) or 32-bit
// (B, G, R, A) pixels, rows without padding, top first when the height is negative. Safe on
// untrusted bytes: nothing when the header does not describe pixels that fit in `file`.
std::optional<PictureTexture> DecodeBitmapFile(std::span<const uint8_t> file);

// A PNG or JPEG file through the platform's decoder; nothing when it cannot be read or decoded.
std::optional<PictureTexture> LoadTextureFile(std::u16string_view path);
