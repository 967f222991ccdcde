#include "platform/UnicodeCharacters.h"

#include <gtest/gtest.h>

namespace {

// Names match whatever the host's locale; the variant letter forms fold to the capital that the
// plain form has, as the C.UTF-8 tables say. A plain upper-casing table misses them.
TEST(UnicodeCharactersTest, UpperCaseFoldsVariantFormsAndLeavesLongerOnesAlone) {
  EXPECT_EQ(platform::UpperCaseUnit(u'a'), u'A');
  EXPECT_EQ(platform::UpperCaseUnit(u'\u00E4'), u'\u00C4');  // ä
  EXPECT_EQ(platform::UpperCaseUnit(u'\u0142'), u'\u0141');  // ł, as in "szkło"
  EXPECT_EQ(platform::UpperCaseUnit(u'\u0432'), u'\u0412');  // в, as in "вода"
  EXPECT_EQ(platform::UpperCaseUnit(u'\u03C2'), u'\u03A3');  // final sigma
  EXPECT_EQ(platform::UpperCaseUnit(u'\u017F'), u'S');       // long s
  EXPECT_EQ(platform::UpperCaseUnit(u'\u00B5'), u'\u039C');  // micro sign
  EXPECT_EQ(platform::UpperCaseUnit(u'\u00DF'), u'\u00DF');  // ß: its capital is two letters
  EXPECT_EQ(platform::UpperCaseUnit(u'\xD83D'), u'\xD83D');
  EXPECT_EQ(platform::UpperCaseUnit(u'\u6C34'), u'\u6C34');  // 水
}

TEST(UnicodeCharactersTest, LettersAndDigitsOfAnyScriptButNoPunctuationOrSurrogates) {
  for (char16_t unit : {u'a', u'Z', u'7', u'\u00E9', u'\u0436', u'\u6C34', u'\uAC00', u'\u0663'}) {
    EXPECT_TRUE(platform::IsLetterOrDigitUnit(unit)) << static_cast<int>(unit);
  }
  for (char16_t unit : {u'_', u' ', u'-', u'\u00A0', u'\u3000', u'\u2019', u'\xD83D', u'\xDE00'}) {
    EXPECT_FALSE(platform::IsLetterOrDigitUnit(unit)) << static_cast<int>(unit);
  }
}

}  // namespace
