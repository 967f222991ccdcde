#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The in-memory bitmap file both image encoders read (ImageEncoder.h), checked once here so that
// every backend refuses the same malformed headers.
namespace platform {

struct BitmapView {
  uint32_t width;
  uint32_t height;
  uint32_t bytesPerPixel;  // 3 or 4
  bool topDown;
  const uint8_t* pixels;
  bool blueFirst = true;  // a bitmap file's order; plain pixels are red first

  size_t rowBytes() const { return size_t{width} * bytesPerPixel; }
  // Row `index` counted from the top of the picture.
  const uint8_t* row(uint32_t index) const {
    return pixels + rowBytes() * (topDown ? index : height - 1 - index);
  }
};

// The pixels of a 54-byte "BM" header with a 40-byte info header, uncompressed 24 or 32 bits, rows
// without padding. Nothing when the header is malformed or the buffer does not hold every row;
// no pixel is read. The view points into `file`.
std::optional<BitmapView> ReadBitmap(std::span<const uint8_t> file);

}  // namespace platform
