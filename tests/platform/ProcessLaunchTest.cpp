#include <gtest/gtest.h>

#include <string>
#include <vector>


#include "platform/ProcessLaunch.h"
#include "platform/TextConversion.h"

namespace {

using platform::SplitCommandLine;
using Arguments = std::vector<std::u16string>;

TEST(SplitCommandLineTest, ArgumentsFollowTheQuotingAndBackslashRulesOfWindows) {
  EXPECT_EQ(SplitCommandLine(u""), Arguments{});
  EXPECT_EQ(SplitCommandLine(u"p  a\tb  "), (Arguments{u"p", u"a", u"b"}));
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\Ombrel\\Ombrel.exe\" /ref:[TideLink] /ss:[0]"),
            (Arguments{u"C:\\Program Files\\Ombrel\\Ombrel.exe", u"/ref:[TideLink]", u"/ss:[0]"}));
  EXPECT_EQ(SplitCommandLine(u"p a\\\\b c\\d"), (Arguments{u"p", u"a\\\\b", u"c\\d"})) << "backslashes alone are literal";
  EXPECT_EQ(SplitCommandLine(u"p \"a\\\\\" b"), (Arguments{u"p", u"a\\", u"b"})) << "an even run before a quote halves";
  EXPECT_EQ(SplitCommandLine(u"p a\\\"b"), (Arguments{u"p", u"a\"b"})) << "an odd run escapes the quote";
  EXPECT_EQ(SplitCommandLine(u"p a\\\\\\\"b"), (Arguments{u"p", u"a\\\"b"})) << "three give one and a quote";
  EXPECT_EQ(SplitCommandLine(u"p \"say \"\"hi\"\"\""), (Arguments{u"p", u"say \"hi\""}));
  EXPECT_EQ(SplitCommandLine(u"p \"\" x"), (Arguments{u"p", u"", u"x"})) << "empty quotes are an empty argument";
  EXPECT_EQ(SplitCommandLine(u"p \"open ended"), (Arguments{u"p", u"open ended"}));
  EXPECT_EQ(SplitCommandLine(u"p a\"b c\"d e"), (Arguments{u"p", u"ab cd", u"e"})) << "quotes group inside a word";
}

TEST(SplitCommandLineTest, TheProgramNameKnowsNoEscapes) {
  // A folder that ends in a backslash must not swallow the closing quote and the arguments.
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Ombrel\\\" /ss:[0]"), (Arguments{u"C:\\Ombrel\\", u"/ss:[0]"}));
  EXPECT_EQ(SplitCommandLine(u"a\\\"b c\" d"), (Arguments{u"a\\b c", u"d"})) << "a quote only groups";
  EXPECT_EQ(SplitCommandLine(u" a b"), (Arguments{u"", u"a", u"b"})) << "a leading blank is an empty name";
}

TEST(QuoteArgumentTest, EveryArgumentComesBackUnchanged) {
  for (const std::u16string argument : {u"", u"plain", u"two words", u"trailing\\", u"say \"hi\"", u"\\\"\\",
                                        u"C:\\Drawings\\House 2.vwx", u"tab\there"}) {
    EXPECT_EQ(SplitCommandLine(u"p " + platform::QuoteArgument(argument)), (Arguments{u"p", argument}))
        << platform::Utf8FromUtf16(argument);
  }
}

}  // namespace
