#include "transport/XmlEscape.h"

namespace {

constexpr char16_t kReplacementCharacter = u'\uFFFD';

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool IsForbiddenInXml(char16_t unit) {
  if (unit < 0x20) return unit != u'\t' && unit != u'\n' && unit != u'\r';
  return unit == 0xFFFE || unit == 0xFFFF;
}

}  // namespace

std::u16string XmlEscape(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (size_t index = 0; index < text.size(); ++index) {
    const char16_t unit = text[index];
    switch (unit) {
      case u'"': escaped += u"&quot;"; continue;
      case u'&': escaped += u"&amp;"; continue;
      case u'\'': escaped += u"&apos;"; continue;
      case u'<': escaped += u"&lt;"; continue;
      case u'>': escaped += u"&gt;"; continue;
      default: break;
    }
    if (IsHighSurrogate(unit) && index + 1 < text.size() && IsLowSurrogate(text[index + 1])) {
      escaped += unit;
      escaped += text[++index];
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || IsForbiddenInXml(unit)) {
      escaped += kReplacementCharacter;
    } else {
      escaped += unit;
    }
  }
  return escaped;
}
