#include "platform/UnicodeCharacters.h"

#include <locale.h>
#include <wctype.h>

namespace platform {
namespace {

// Made when the library holding it is loaded and freed when it is unloaded, so a plug-in unloaded
// by its host leaks nothing. At namespace scope it outlives every function-local static, the
// document manager among them, whose destructor still compares names when it closes documents.
// A call before it is made or after it is gone sees no locale and changes ASCII only.
class UnicodeLocale {
 public:
  UnicodeLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
  ~UnicodeLocale() {
    if (locale_) freelocale(locale_);
    locale_ = locale_t{};
  }
  UnicodeLocale(const UnicodeLocale&) = delete;
  UnicodeLocale& operator=(const UnicodeLocale&) = delete;

  locale_t get() const { return locale_; }

 private:
  locale_t locale_;
};

const UnicodeLocale unicodeLocale;

locale_t Unicode() { return unicodeLocale.get(); }

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
