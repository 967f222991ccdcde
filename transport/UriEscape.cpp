#include "transport/UriEscape.h"

#include "platform/PercentEncoding.h"
#include "platform/TextConversion.h"
#include "platform/UnicodeCharacters.h"
#include "transport/XmlEscape.h"

namespace {

constexpr std::u16string_view kKeptPunctuation = u"!';&=+$,:/\\.-_~[]()@";

bool IsKept(char16_t unit) {
  return kKeptPunctuation.find(unit) != std::u16string_view::npos || platform::IsLetterOrDigitUnit(unit);
}

}  // namespace

std::u16string UriEscape(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (const char16_t unit : text) {
    if (IsKept(unit)) {
      escaped += unit;
    } else {
      platform::AppendPercentEncodedUnit(escaped, unit);
    }
  }
  return escaped;
}

std::string UriEscapeForXml(std::u16string_view text) {
  return platform::Utf8FromUtf16(XmlEscape(UriEscape(text)));
}
