#include "platform/UnicodeCharacters.h"

#include <windows.h>

// The invariant locale's tables: the answer does not depend on the user's or the host's locale,
// as the C.UTF-8 tables do not on the other platforms. ASCII is answered directly, since most
// names are ASCII and the result there is fixed.
namespace platform {
namespace {

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

char16_t UpperCaseUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  if (IsSurrogate(unit)) return unit;
  const wchar_t in = static_cast<wchar_t>(unit);
  wchar_t out = in;
  // One unit in, one unit out: a letter whose upper case is longer (ß) stays as it is. Linguistic
  // casing also maps the variant forms (final sigma, long s, micro sign) as the C.UTF-8 tables do.
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, &in, 1, &out, 1,
                    nullptr, nullptr, 0) != 1) {
    return unit;
  }
  return static_cast<char16_t>(out);
}

// The system's letters and digits. They differ from the C.UTF-8 tables in combining marks (many
// are letters there, none here, so a mark ends a word here) and in the superscript digits.
bool IsLetterOrDigitUnit(char16_t unit) {
  if (unit < 0x80) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
  }
  if (IsSurrogate(unit)) return false;
  const wchar_t in = static_cast<wchar_t>(unit);
  WORD type = 0;
  return GetStringTypeW(CT_CTYPE1, &in, 1, &type) && (type & (C1_ALPHA | C1_DIGIT)) != 0;
}

}  // namespace platform
