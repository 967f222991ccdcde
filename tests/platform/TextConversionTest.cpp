#include "platform/TextConversion.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using platform::Utf16FromUtf8;
using platform::Utf8FromUtf16;

namespace {

// Code points at each boundary between encoded lengths, in both encodings.
TEST(TextConversion, EncodedLengthBoundariesRoundTrip) {
  const std::u16string utf16 = u"\u0000\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"s;
  const std::string utf8(
      "\x00\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", 20);
  EXPECT_EQ(Utf8FromUtf16(utf16), utf8);
  EXPECT_EQ(Utf16FromUtf8(utf8), utf16);
}

TEST(TextConversion, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf8FromUtf16(u"a\xD800"), "a\xEF\xBF\xBD");              // high at the end
  EXPECT_EQ(Utf8FromUtf16(u"\xD800z"), "\xEF\xBF\xBDz");              // high before a non-low
  EXPECT_EQ(Utf8FromUtf16(u"\xDC00"), "\xEF\xBF\xBD");                // low alone
  EXPECT_EQ(Utf8FromUtf16(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // pair reversed
  EXPECT_EQ(Utf8FromUtf16(u"\xD800\xD83D\xDE00"), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

// Each maximal invalid part gives one replacement, as browsers decode.
TEST(TextConversion, InvalidUtf8BecomesReplacementAndDecodingResumes) {
  const std::u16string bad = u"\uFFFD";
  EXPECT_EQ(Utf16FromUtf8("\x80"), bad);                           // stray continuation
  EXPECT_EQ(Utf16FromUtf8("\xC0\x80"), bad + bad);                 // overlong zero
  EXPECT_EQ(Utf16FromUtf8("\xE0\x9F\xBF"), bad + bad + bad);       // overlong three bytes
  EXPECT_EQ(Utf16FromUtf8("\xF0\x8F\xBF\xBF"), bad + bad + bad + bad);  // overlong four bytes
  EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), bad + bad + bad);       // encoded surrogate
  EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), bad + bad + bad + bad);  // beyond U+10FFFF
  EXPECT_EQ(Utf16FromUtf8("\xF5\x80"), bad + bad);                 // impossible lead byte
  EXPECT_EQ(Utf16FromUtf8("x\xF0\x9F\x98"), u"x" + bad);           // truncated at the end
  EXPECT_EQ(Utf16FromUtf8("\xE2\x82" "A\xC3\xA9"), bad + u"A\u00E9");  // truncated mid-text
  EXPECT_EQ(Utf16FromUtf8("\xED\x9F\xBF\xEE\x80\x80"), u"\uD7FF\uE000");  // around surrogates
}

}  // namespace
