#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Decoding of PNG and JPEG files held in memory, the other half of the image unit beside
// ImageEncoder.h. The POSIX backend uses libpng and libjpeg-turbo; a Win32 backend uses WIC (or
// GDI+), which must give the same pixels for a PNG (a JPEG may differ by rounding).
namespace platform {

// Large enough for any texture a drawing uses, small enough that a forged header cannot make a
// decoder allocate gigabytes.
inline constexpr uint64_t kMaxDecodedImagePixels = uint64_t(1) << 26;

struct DecodedImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channelCount = 0;     // 4 (R, G, B, A) for a PNG with alpha, else 3 (R, G, B)
  std::vector<uint8_t> samples;  // row by row, top first, no padding
};

// Decodes an image recognised by its signature. Safe on untrusted data: a damaged, truncated,
// oversized or unknown image gives nothing, with `error` saying why.
std::optional<DecodedImage> DecodeImage(std::span<const uint8_t> encoded, std::string& error);

}  // namespace platform
