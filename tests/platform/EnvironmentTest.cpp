#include "platform/Environment.h"

#include "tests/support/TestEnvironment.h"

namespace {

constexpr const char* kName = "TIDELINK_TEST_VARIABLE";

// An empty value is a value: a backend that reads "no characters" as "not set" fails here.
TEST(EnvironmentTest, EmptyValuesAreSetAndRemovedOnesAreNot) {
  ScopedEnvironment restore(kName, std::nullopt);
  EXPECT_EQ(platform::ReadEnvironmentVariable(kName), std::nullopt);
  ASSERT_TRUE(platform::WriteEnvironmentVariable(kName, ""));
  EXPECT_EQ(platform::ReadEnvironmentVariable(kName), std::string());
  ASSERT_TRUE(platform::RemoveEnvironmentVariable(kName));
  EXPECT_EQ(platform::ReadEnvironmentVariable(kName), std::nullopt);
  EXPECT_TRUE(platform::RemoveEnvironmentVariable(kName));
}

// Values are UTF-8 here and UTF-16 in the Windows environment; a long one needs a second read.
TEST(EnvironmentTest, NonAsciiAndLongValuesComeBackUnchanged) {
  ScopedEnvironment restore(kName, std::nullopt);
  const std::string text = "C:\\K\xC3\xBC" "che \xE8\x8D\x89 \xF0\x9F\x98\x80";
  ASSERT_TRUE(platform::WriteEnvironmentVariable(kName, text));
  EXPECT_EQ(platform::ReadEnvironmentVariable(kName), text);
  const std::string longText(5000, 'v');
  ASSERT_TRUE(platform::WriteEnvironmentVariable(kName, longText));
  EXPECT_EQ(platform::ReadEnvironmentVariable(kName), longText);
}

TEST(EnvironmentTest, MillisecondsAreWholeNumbersUpToAMinute) {
  ScopedEnvironment restore(kName, std::nullopt);
  EXPECT_EQ(platform::GetEnvironmentMilliseconds(kName), 0u);
  for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"250", 250}, {"60000", 60000}, {"60001", 0}, {"12ms", 0}, {"-5", 0}, {"", 0}}) {
    platform::WriteEnvironmentVariable(kName, text);
    EXPECT_EQ(platform::GetEnvironmentMilliseconds(kName), expected) << text;
  }
}

}  // namespace
