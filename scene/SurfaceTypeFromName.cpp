#include "scene/SurfaceTypeFromName.h"

#include <algorithm>
#include <span>

#include "platform/UnicodeCharacters.h"

namespace {

constexpr std::u16string_view kGlassWords[] = {
    u"glass", u"vidrio", u"verre", u"vetro", u"стекло", u"玻璃",
    u"vidro", u"ガラス", u"유리",   u"garasu", u"glas",  u"szkło"};

constexpr std::u16string_view kWaterWords[] = {
    u"water", u"agua", u"wasser", u"acqua", u"vatten", u"вода",
    u"水",    u"água", u"물",     u"mizu",  u"woda"};

constexpr std::u16string_view kWholeWordWater = u"eau";

// Case and word characters come from the platform's one Unicode table, so that names in every
// script match alike whatever locale the host process runs in.
bool sameLetter(char16_t left, char16_t right) {
  return platform::UpperCaseUnit(left) == platform::UpperCaseUnit(right);
}

bool contains(std::u16string_view name, std::u16string_view word) {
  return std::search(name.begin(), name.end(), word.begin(), word.end(), sameLetter) != name.end();
}

bool containsAny(std::u16string_view name, std::span<const std::u16string_view> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](std::u16string_view word) { return contains(name, word); });
}

// A word character as the regular expression "\\w" has it: a letter, a digit or the underscore.
bool isWordCharacter(char16_t unit) { return unit == u'_' || platform::IsLetterOrDigitUnit(unit); }

// Some maximal run of word characters is "eau" on its own.
bool hasWholeWordEau(std::u16string_view name) {
  size_t runStart = 0;
  for (size_t index = 0; index <= name.size(); ++index) {
    if (index < name.size() && isWordCharacter(name[index])) continue;
    const std::u16string_view run = name.substr(runStart, index - runStart);
    if (run.size() == kWholeWordWater.size() && contains(run, kWholeWordWater)) return true;
    runStart = index + 1;
  }
  return false;
}

}  // namespace

bool isWater(std::u16string_view name) {
  if (containsAny(name, kWaterWords)) return true;
  return contains(name, kWholeWordWater) && hasWholeWordEau(name);
}

bool isGlass(std::u16string_view name) { return containsAny(name, kGlassWords); }

uint32_t surfaceTypeFromName(std::u16string_view name) {
  if (isWater(name)) return kSurfaceTypeWater;
  if (isGlass(name)) return kSurfaceTypeGlass;
  return kSurfaceTypeNone;
}
