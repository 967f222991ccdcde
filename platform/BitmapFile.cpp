#include "platform/BitmapFile.h"

#include <cstring>

namespace platform {
namespace {

constexpr size_t kHeaderSize = 54;

template <class Value>
Value ReadLittleEndian(const uint8_t* bytes) {
  Value value{};
  std::memcpy(&value, bytes, sizeof(value));
  return value;
}

}  // namespace

std::optional<BitmapView> ReadBitmap(std::span<const uint8_t> file) {
  if (file.size() < kHeaderSize || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const uint32_t pixelOffset = ReadLittleEndian<uint32_t>(&file[10]);
  const uint32_t infoSize = ReadLittleEndian<uint32_t>(&file[14]);
  const int32_t width = ReadLittleEndian<int32_t>(&file[18]);
  const int32_t height = ReadLittleEndian<int32_t>(&file[22]);
  const uint16_t bitsPerPixel = ReadLittleEndian<uint16_t>(&file[28]);
  const uint32_t compression = ReadLittleEndian<uint32_t>(&file[30]);
  if (infoSize != 40 || compression != 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) return std::nullopt;
  if (width <= 0 || height == 0 || height == INT32_MIN || pixelOffset < kHeaderSize) return std::nullopt;

  BitmapView view{static_cast<uint32_t>(width), static_cast<uint32_t>(height < 0 ? -height : height),
                  bitsPerPixel / 8u, height < 0, nullptr};
  // 64-bit products of 32-bit sizes cannot overflow; the buffer must hold every row.
  const uint64_t pixelBytes = uint64_t{view.width} * view.height * view.bytesPerPixel;
  if (pixelOffset > file.size() || pixelBytes > file.size() - pixelOffset) return std::nullopt;
  view.pixels = file.data() + pixelOffset;
  return view;
}

}  // namespace platform
