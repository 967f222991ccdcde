#include "platform/PercentEncoding.h"

namespace platform {
namespace {

void AppendPercentByte(std::u16string& out, unsigned byte) {
  constexpr char16_t kHexDigits[] = u"0123456789abcdef";
  out += u'%';
  out += kHexDigits[(byte >> 4) & 0xF];
  out += kHexDigits[byte & 0xF];
}

}  // namespace

void AppendPercentEncodedUnit(std::u16string& out, char16_t unit) {
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

}  // namespace platform
