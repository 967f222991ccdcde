#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "transport/NumberText.h"
#include "transport/UriEscape.h"
#include "transport/XmlEscape.h"

namespace {

TEST(XmlEscapeTest, MarkupCharactersBecomeEntitiesAndOtherTextStays) {
  EXPECT_EQ(XmlEscape(u"Tom's \"R&D\" <Wall>"), u"Tom&apos;s &quot;R&amp;D&quot; &lt;Wall&gt;");
  EXPECT_EQ(XmlEscape(u"Fen\u00eatre \u58c1 \U0001F3E0\tA\r\nB"),
            u"Fen\u00eatre \u58c1 \U0001F3E0\tA\r\nB");
  EXPECT_EQ(XmlEscape(u""), u"");
}

TEST(XmlEscapeTest, UnitsThatXmlDoesNotAllowBecomeReplacementCharacters) {
  const std::u16string controls{u'a', 0x0000, 0x0001, 0x001F, 0x000B, u'b'};
  EXPECT_EQ(XmlEscape(controls), u"a\uFFFD\uFFFD\uFFFD\uFFFDb");
  const std::u16string nonCharacters{0xFFFE, 0xFFFF, 0xFFFD};
  EXPECT_EQ(XmlEscape(nonCharacters), u"\uFFFD\uFFFD\uFFFD");
  // Halves of a pair stay together; a half on its own, at either end or reversed, does not.
  const std::u16string lone{0xD83C, u'x', 0xDFE0, 0xDFE0, 0xD83C, 0xD83C};
  EXPECT_EQ(XmlEscape(lone), u"\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(XmlEscapeTest, SurrogateHalvesPairOnlyWithinTheirRangesAndWithinTheText) {
  // The first and last unit of each range pair up; the units just outside them are characters.
  const std::u16string edges{0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0xD7FF, 0xE000};
  EXPECT_EQ(XmlEscape(edges), edges);
  const std::u16string lone{0xD800, u'a', 0xDBFF, u'b', 0xDC00, u'c', 0xDFFF};
  EXPECT_EQ(XmlEscape(lone), u"\uFFFDa\uFFFDb\uFFFDc\uFFFD");
  // A high half at the end of the text stays alone even when its partner follows in memory.
  const std::u16string house = u"a\U0001F3E0";
  EXPECT_EQ(XmlEscape(std::u16string_view(house).substr(0, 2)), u"a\uFFFD");
}

TEST(UriEscapeTest, LettersDigitsAndPathPunctuationStayEverythingElseIsPercentEncoded) {
  EXPECT_EQ(UriEscape(u"C:\\Work/house_Textures/0000000a.png"),
            u"C:\\Work/house_Textures/0000000a.png");
  EXPECT_EQ(UriEscape(u"!';&=+$,:/\\.-_~[]()@"), u"!';&=+$,:/\\.-_~[]()@");
  EXPECT_EQ(UriEscape(u"my file #1%\"<>{}|^`?*"),
            u"my%20file%20%231%25%22%3c%3e%7b%7d%7c%5e%60%3f%2a");
  // Letters and digits of any script stay; other units take their UTF-8 bytes.
  EXPECT_EQ(UriEscape(u"\u00e9t\u00e9 \u0416 \u58c1 \u0663"), u"\u00e9t\u00e9%20\u0416%20\u58c1%20\u0663");
  EXPECT_EQ(UriEscape(u"90\u00b0"), u"90%c2%b0");
  EXPECT_EQ(UriEscape(u"\u20ac"), u"%e2%82%ac");
  // Each half of a pair is escaped on its own, three bytes each.
  EXPECT_EQ(UriEscape(u"\U0001F3E0"), u"%ed%a0%bc%ed%bf%a0");
  EXPECT_EQ(UriEscape(std::u16string{0x0000, 0x007F}), u"%00%7f");
}

std::string Printf(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

// The buffer starts filled with a mark, so that a character AppendFixed skips cannot pass for
// one it wrote (the stack may still hold printf's text of the same number).
std::string Fixed(float value, int decimals) {
  char text[kMaximumFixedTextSize];
  std::memset(text, '#', sizeof(text));
  return std::string(text, AppendFixed(text, value, decimals));
}

TEST(NumberTextTest, FixedTextMatchesPrintfInTheClassicLocale) {
  const float samples[] = {0.0f,       -0.0f,      0.0005f,   -0.0004f, 0.0015f,  0.0025f,
                           1.0005f,    2.5f,       -2.5f,     0.125f,   999.9995f, 1e7f,
                           123456.79f, 16777216.f, 3.4e15f,   1e30f,    -7e-7f,   0.99609375f,
                           std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                           std::numeric_limits<float>::denorm_min()};
  for (const float value : samples) {
    EXPECT_EQ(Fixed(value, 3), Printf("%0.3f", value)) << value;
    EXPECT_EQ(Fixed(value, 6), Printf("%f", value)) << value;
  }
  // Halfway cases and ordinary drawing coordinates, at random over a wide range of scales.
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> bits;
  for (int sample = 0; sample < 100000; ++sample) {
    uint32_t pattern = bits(random);
    float value;
    std::memcpy(&value, &pattern, sizeof(value));
    if (!std::isfinite(value)) continue;
    if (sample % 2) value = std::ldexp(static_cast<float>(pattern % 1000000), -(pattern % 12)) - 1000.0f;
    ASSERT_EQ(Fixed(value, 3), Printf("%0.3f", value)) << value;
    ASSERT_EQ(Fixed(value, 6), Printf("%f", value)) << value;
  }
}

TEST(NumberTextTest, NonFiniteValuesUseTheSchemaFloatSpelling) {
  EXPECT_EQ(Fixed(std::numeric_limits<float>::quiet_NaN(), 3), "NaN");
  EXPECT_EQ(Fixed(-std::numeric_limits<float>::quiet_NaN(), 6), "NaN");
  EXPECT_EQ(Fixed(std::numeric_limits<float>::infinity(), 3), "INF");
  EXPECT_EQ(Fixed(-std::numeric_limits<float>::infinity(), 6), "-INF");
  EXPECT_EQ(Fixed(-std::numeric_limits<float>::max(), 6).size(), kMaximumFixedTextSize - 1);
}

}  // namespace
