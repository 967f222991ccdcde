#include "transport/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr double kPowersOfTen[] = {1.0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
constexpr uint64_t kIntegerPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
// Scaled values below this are whole numbers that a double and a 64-bit integer hold exactly.
constexpr double kExactScaledLimit = 1e15;

char* AppendText(char* out, const char* text) {
  const size_t length = std::strlen(text);
  std::memcpy(out, text, length);
  return out + length;
}

char* AppendNonFinite(char* out, float value) {
  if (std::isnan(value)) return AppendText(out, "NaN");
  return AppendText(out, value < 0 ? "-INF" : "INF");
}

}  // namespace

char* AppendFixed(char* out, float value, int decimals) {
  if (!std::isfinite(value)) return AppendNonFinite(out, value);
  // A float times 10^6 or less needs at most 38 significant bits, so the product is exact and
  // rounding it to a whole number rounds as printf does (to nearest, ties to even).
  const double scaled = static_cast<double>(value) * kPowersOfTen[decimals];
  if (std::fabs(scaled) >= kExactScaledLimit) {
    return std::to_chars(out, out + kMaximumFixedTextSize, static_cast<double>(value),
                         std::chars_format::fixed, decimals)
        .ptr;
  }
  const uint64_t magnitude = static_cast<uint64_t>(std::fabs(std::nearbyint(scaled)));
  const uint64_t unit = kIntegerPowersOfTen[decimals];
  // printf keeps the sign of a negative value that rounds to zero ("-0.000").
  if (std::signbit(value)) *out++ = '-';
  out = std::to_chars(out, out + kMaximumFixedTextSize, magnitude / unit).ptr;
  *out++ = '.';
  uint64_t fraction = magnitude % unit;
  for (int digit = decimals - 1; digit >= 0; --digit) {
    out[digit] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + decimals;
}
