#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

// Both encoders read an in-memory bitmap file: a 54-byte "BM" header with a 40-byte info header,
// uncompressed 24-bit (B, G, R) or 32-bit (B, G, R, A) pixels, rows without padding, top-down when
// the height is negative. The header is checked against the buffer before any pixel is read; a
// malformed bitmap or a file that cannot be written gives false, and no partial file is left.

// PNG, with alpha when the bitmap has it.
bool EncodePng(std::span<const uint8_t> bitmapFile, std::u16string_view path);
// JPEG at `quality` (1 to 100); alpha is dropped.
bool EncodeJpeg(std::span<const uint8_t> bitmapFile, int quality, std::u16string_view path);

// PNG with alpha of `width` × `height` pixels given as R, G, B, A bytes, rows top first without
// padding. False, leaving no partial file, when `rgba` is not exactly that size, a side is 0, or
// the file cannot be written.
bool EncodePngPixels(uint32_t width, uint32_t height, std::span<const uint8_t> rgba, std::u16string_view path);

}  // namespace platform
