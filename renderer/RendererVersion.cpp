#include "renderer/RendererVersion.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace {

// What the C library's "%d" reads into a long before it keeps the int part: a long has 64 bits on
// POSIX and 32 on Windows.
constexpr uint64_t kLongMax = std::numeric_limits<long>::max();

void AppendNumber(std::u16string& text, int32_t number) {
  char digits[12];
  const auto end = std::to_chars(digits, digits + sizeof(digits), number).ptr;
  text.append(digits, end);
}

}  // namespace

RendererVersion MakeRendererVersion(int32_t major, int32_t minor, int32_t build, int32_t revision) {
  return {major, minor, build, revision};
}

bool Equals(const RendererVersion& a, const RendererVersion& b) {
  return a.major == b.major && a.minor == b.minor && a.build == b.build && a.revision == b.revision;
}

bool Less(const RendererVersion& a, const RendererVersion& b) {
  if (a.major != b.major) return a.major < b.major;
  if (a.minor != b.minor) return a.minor < b.minor;
  if (a.build != b.build) return a.build < b.build;
  return a.revision < b.revision;
}

bool IsNone(const RendererVersion& v) { return Equals(v, RendererVersion{}); }

std::u16string FormatVersion(const RendererVersion& v) {
  const int32_t numbers[4] = {v.major, v.minor, v.build, v.revision};
  const int count = v.revision != 0 ? 4 : v.build != 0 ? 3 : 2;
  std::u16string text;
  for (int index = 0; index < count; ++index) {
    if (index > 0) text += u'.';
    AppendNumber(text, numbers[index]);
  }
  return text;
}

RendererVersion ParseVersion(std::u16string_view text) {
  RendererVersion version;
  int32_t* const fields[4] = {&version.major, &version.minor, &version.build, &version.revision};
  size_t field = 0;
  uint64_t value = 0;
  bool haveDigits = false;
  // Dropping the other units first would only join what surrounds them, so they are skipped here.
  for (const char16_t unit : text) {
    if (unit >= u'0' && unit <= u'9') {
      const uint64_t digit = unit - u'0';
      value = value > (kLongMax - digit) / 10 ? kLongMax : value * 10 + digit;
      haveDigits = true;
    } else if (unit == u'.') {
      if (!haveDigits) return version;
      *fields[field] = static_cast<int32_t>(static_cast<uint32_t>(value));
      if (++field == 4) return version;
      value = 0;
      haveDigits = false;
    }
  }
  if (haveDigits) *fields[field] = static_cast<int32_t>(static_cast<uint32_t>(value));
  return version;
}
