#include "transport/UriEscape.h"

#include "platform/UnicodeCharacters.h"

namespace {

constexpr std::u16string_view kKeptPunctuation = u"!';&=+$,:/\\.-_~[]()@";

bool IsKept(char16_t unit) {
  return kKeptPunctuation.find(unit) != std::u16string_view::npos || platform::IsLetterOrDigitUnit(unit);
}

void AppendPercentByte(std::u16string& out, unsigned byte) {
  constexpr char16_t kHexDigits[] = u"0123456789abcdef";
  out += u'%';
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xF];
}

void AppendEscapedUnit(std::u16string& out, char16_t unit) {
  if (unit < 0x80) {
    AppendPercentByte(out, unit);
  } else if (unit < 0x800) {
    AppendPercentByte(out, 0xC0 | (unit >> 6));
    AppendPercentByte(out, 0x80 | (unit & 0x3F));
  } else {
    AppendPercentByte(out, 0xE0 | (unit >> 12));
    AppendPercentByte(out, 0x80 | ((unit >> 6) & 0x3F));
    AppendPercentByte(out, 0x80 | (unit & 0x3F));
  }
}

}  // namespace

std::u16string UriEscape(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (const char16_t unit : text) {
    if (IsKept(unit)) {
      escaped += unit;
    } else {
      AppendEscapedUnit(escaped, unit);
    }
  }
  return escaped;
}
