#include "platform/UnicodeCharacters.h"

#include <locale.h>
#include <wctype.h>

namespace platform {
namespace {

// Freed when the library holding it is unloaded, so a plug-in unloaded by its host leaks nothing.
class UnicodeLocale {
 public:
  UnicodeLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
  ~UnicodeLocale() {
    if (locale_) freelocale(locale_);
  }
  UnicodeLocale(const UnicodeLocale&) = delete;
  UnicodeLocale& operator=(const UnicodeLocale&) = delete;

  locale_t get() const { return locale_; }

 private:
  locale_t locale_;
};

locale_t Unicode() {
  static const UnicodeLocale locale;
  return locale.get();
}

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

char16_t UpperCaseUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  const locale_t unicode = Unicode();
  if (!unicode || IsSurrogate(unit)) return unit;
  const wint_t upper = towupper_l(unit, unicode);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

bool IsLetterOrDigitUnit(char16_t unit) {
  if (unit < 0x80) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
  }
  const locale_t unicode = Unicode();
  return unicode && !IsSurrogate(unit) && iswalnum_l(unit, unicode) != 0;
}

}  // namespace platform
