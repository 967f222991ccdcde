#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/TextConversion.h"
#include "renderer/RendererVersion.h"

namespace {

std::string Text(const RendererVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) + "." +
         std::to_string(v.revision);
}

TEST(RendererVersionTest, LessDecidesByTheFirstUnequalNumberSigned) {
  EXPECT_TRUE(Less({8, 4, 9, 9}, minimumRendererVersion));
  EXPECT_FALSE(Less(minimumRendererVersion, minimumRendererVersion));
  EXPECT_FALSE(Less({8, 5, 0, 1}, minimumRendererVersion));
  EXPECT_TRUE(Less({8, 5, 0, 0}, {8, 5, 0, 1})) << "the revision counts when all else is equal";
  EXPECT_TRUE(Less({8, 5, 1, 0}, {8, 5, 2, 0}));
  EXPECT_FALSE(Less({12, 0, 0, 0}, {11, 9, 9, 9})) << "a lower minor must not outweigh a higher major";
  EXPECT_TRUE(Less({-1, 0, 0, 0}, {0, 0, 0, 0})) << "numbers compare signed";
}

TEST(RendererVersionTest, EqualsAndNoneLookAtAllFourNumbersInTheirPlaces) {
  const RendererVersion made = MakeRendererVersion(1, 2, 3, 4);
  EXPECT_EQ(Text(made), "1.2.3.4");
  EXPECT_TRUE(Equals(made, {1, 2, 3, 4}));
  EXPECT_FALSE(Equals(made, {1, 2, 4, 3}));
  EXPECT_FALSE(Equals(made, {1, 2, 3, 5}));
  EXPECT_TRUE(IsNone({}));
  EXPECT_FALSE(IsNone({0, 0, 0, 1}));
  EXPECT_FALSE(IsNone({0, 0, 1, 0}));
}

TEST(RendererVersionTest, FormatDropsTrailingZeroRevisionAndBuildButKeepsTheMinor) {
  EXPECT_EQ(FormatVersion({12, 0, 0, 0}), u"12.0");
  EXPECT_EQ(FormatVersion({12, 0, 1, 0}), u"12.0.1");
  EXPECT_EQ(FormatVersion({12, 0, 0, 5}), u"12.0.0.5") << "a zero build is kept before a revision";
  EXPECT_EQ(FormatVersion({}), u"0.0");
  EXPECT_EQ(FormatVersion({-2147483647 - 1, -1, 2147483647, -5}), u"-2147483648.-1.2147483647.-5");
}

TEST(RendererVersionTest, ParseKeepsOnlyDigitsAndFullStops) {
  EXPECT_EQ(Text(ParseVersion(u"12.0.1.157")), "12.0.1.157");
  EXPECT_EQ(Text(ParseVersion(u"Version 12.0 (build 3)")), "12.3.0.0") << "the dropped text joins 0 and 3";
  EXPECT_EQ(Text(ParseVersion(u"v-8.5")), "8.5.0.0") << "a minus sign is dropped, not read";
  EXPECT_EQ(Text(ParseVersion(u"1\u06612.3")), "12.3.0.0") << "only ASCII digits count";
  EXPECT_TRUE(IsNone(ParseVersion(u""))) << "version text without digits";
  EXPECT_TRUE(IsNone(ParseVersion(u"Ombrel beta")));
}

TEST(RendererVersionTest, ParseStopsAtTheFirstMissingNumber) {
  EXPECT_EQ(Text(ParseVersion(u"11.5")), "11.5.0.0");
  EXPECT_EQ(Text(ParseVersion(u"12..3")), "12.0.0.0");
  EXPECT_EQ(Text(ParseVersion(u"12.")), "12.0.0.0");
  EXPECT_TRUE(IsNone(ParseVersion(u".5.6")));
  EXPECT_EQ(Text(ParseVersion(u"1.2.3.4.5")), "1.2.3.4") << "a fifth number is ignored";
  EXPECT_EQ(Text(ParseVersion(u"007.08")), "7.8.0.0") << "leading zeros are decimal";
}

// The reading must give what the C library's "%d.%d.%d.%d" gives on this platform, numbers too
// large for 32 bits included; sscanf itself is the reference on these short texts.
TEST(RendererVersionTest, ParseReadsNumbersAsTheCLibraryDoes) {
  for (const char* text : {"2147483647", "2147483648", "4294967295", "4294967296", "4294967297.1",
                           "9223372036854775806", "9223372036854775807", "9223372036854775808",
                           "18446744073709551617", "99999999999999999999999999.3", "1.99999999999999999999.2.4294967298",
                           "3.2147483649.0.12"}) {
    int numbers[4] = {};
    std::sscanf(text, "%d.%d.%d.%d", &numbers[0], &numbers[1], &numbers[2], &numbers[3]);
    const RendererVersion parsed = ParseVersion(platform::Utf16FromUtf8(text));
    EXPECT_EQ(Text(parsed), Text({numbers[0], numbers[1], numbers[2], numbers[3]})) << text;
  }
}

TEST(RendererVersionTest, ParseIsSafeOnVeryLongText) {
  std::u16string text(1 << 20, u'9');
  text += u".7.x";
  const RendererVersion parsed = ParseVersion(text);
  int major = 0;
  std::sscanf(platform::Utf8FromUtf16(text).c_str(), "%d", &major);
  EXPECT_EQ(parsed.major, major) << "saturated as the C library does, then cut to 32 bits";
  EXPECT_EQ(parsed.minor, 7);
  EXPECT_EQ(Text(ParseVersion(std::u16string(1 << 20, u'.'))), "0.0.0.0");
}

}  // namespace
