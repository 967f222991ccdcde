#include "transport/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr double kPowersOfTen[] = {1.0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
constexpr uint64_t kIntegerPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
// Scaled values below this are whole numbers that a double and a 64-bit integer hold exactly.
constexpr double kExactScaledLimit = 1e15;
constexpr double kRoundingOffset = 0x1p52;

// "000" to "999", four characters apart.
constexpr std::array<char, 4000> kThreeDigits = [] {
  std::array<char, 4000> digits{};
  for (int value = 0; value < 1000; ++value) {
    digits[4 * value] = static_cast<char>('0' + value / 100);
    digits[4 * value + 1] = static_cast<char>('0' + value / 10 % 10);
    digits[4 * value + 2] = static_cast<char>('0' + value % 10);
  }
  return digits;
}();

// Most whole parts have at most three digits; they come from the table without a division loop.
char* AppendWhole(char* out, uint64_t value) {
  if (value >= 1000) return std::to_chars(out, out + kMaximumFixedTextSize, value).ptr;
  const int length = value < 10 ? 1 : value < 100 ? 2 : 3;
  std::memcpy(out, &kThreeDigits[4 * value + 3 - length], 3);
  return out + length;
}

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
  // Below 2^52, adding and taking away 2^52 rounds to a whole number in the default rounding
  // mode, to nearest with ties to even, as nearbyint does, without a library call.
  const uint64_t magnitude =
      static_cast<uint64_t>((std::fabs(scaled) + kRoundingOffset) - kRoundingOffset);
  // printf keeps the sign of a negative value that rounds to zero ("-0.000").
  if (std::signbit(value)) *out++ = '-';
  // The export's number lists all have three decimals: divided by a constant, the fraction from
  // the table.
  if (decimals == 3) {
    out = AppendWhole(out, magnitude / 1000);
    *out++ = '.';
    std::memcpy(out, &kThreeDigits[4 * (magnitude % 1000)], 3);
    return out + 3;
  }
  const uint64_t unit = kIntegerPowersOfTen[decimals];
  out = AppendWhole(out, magnitude / unit);
  *out++ = '.';
  uint64_t fraction = magnitude % unit;
  for (int digit = decimals - 1; digit >= 0; --digit) {
    out[digit] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + decimals;
}
