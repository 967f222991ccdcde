#include "platform/LocalTime.h"

#include <gtest/gtest.h>

namespace {

// The C library's own inverse of local time gives every instant back, the daylight-saving flag
// included; a zone-less (UTC) break-down would be off by the zone's offset.
TEST(LocalTimeTest, BreakDownIsTheInverseOfTheLibrarysLocalTime) {
  const std::time_t instants[] = {86400, 1600000000, 1719792000, std::time(nullptr)};
  for (const std::time_t instant : instants) {
    const auto local = platform::LocalTime(instant);
    ASSERT_TRUE(local);
    std::tm copy = *local;
    EXPECT_EQ(std::mktime(&copy), instant);
    EXPECT_EQ(copy.tm_wday, local->tm_wday);
  }
  // 2020-09-13 12:26:40 UTC is in September 2020 in every time zone.
  const auto september = platform::LocalTime(1600000000);
  EXPECT_EQ(september->tm_year, 120);
  EXPECT_EQ(september->tm_mon, 8);
}

}  // namespace
