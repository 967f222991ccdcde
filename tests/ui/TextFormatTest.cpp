#include <gtest/gtest.h>

#include "ui/TextFormat.h"

namespace {

using ui::FormatText;

TEST(TextFormatTest, FillsTheOnePlaceholderWithTheArgumentAsItStands) {
  EXPECT_EQ(FormatText(u"Saved as:\n%s\n", u"/plans/House.dae"), u"Saved as:\n/plans/House.dae\n");
  EXPECT_EQ(FormatText(u"Ombrel TideLink - %s", u"100% done %s %d"), u"Ombrel TideLink - 100% done %s %d");
  EXPECT_EQ(FormatText(u"no placeholder", u"ignored"), u"no placeholder");
}

TEST(TextFormatTest, MistakesInATranslatedFormatStayVisibleInsteadOfReadingMissingArguments) {
  EXPECT_EQ(FormatText(u"%d of %s and %s, 50%%", u"A"), u"%d of A and %s, 50%");
  EXPECT_EQ(FormatText(u"ends with %", u"A"), u"ends with %");
  EXPECT_EQ(FormatText(u"%%s is literal, %s is not", u"A"), u"%s is literal, A is not");
}

}  // namespace
