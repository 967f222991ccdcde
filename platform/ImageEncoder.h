#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

// Encodes an in-memory bitmap file (32-bit, bottom-up, BGRA) as PNG with alpha or as JPEG (RGB,
// quality 0 to 100) into `path`. False when the bitmap is malformed or the file cannot be written.
bool EncodePng(std::span<const uint8_t> bitmapFile, std::u16string_view path);
bool EncodeJpeg(std::span<const uint8_t> bitmapFile, int quality, std::u16string_view path);

}  // namespace platform
