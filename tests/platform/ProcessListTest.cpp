#include "platform/ProcessList.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/TextConversion.h"

namespace {

bool IsListed(uint32_t processId) {
  const auto processes = platform::EnumerateProcesses();
  return std::find(processes.begin(), processes.end(), processId) != processes.end();
}

TEST(ProcessList, CurrentProcessIsListedAliveAndRunsThisExecutable) {
  const uint32_t self = platform::GetCurrentProcessId();
  EXPECT_EQ(self, static_cast<uint32_t>(getpid()));
  EXPECT_TRUE(IsListed(self));
  EXPECT_TRUE(platform::IsProcessAlive(self));
  const auto image = platform::GetProcessImagePath(self);
  ASSERT_TRUE(image);
  const std::string path = platform::Utf8FromUtf16(*image);
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(path.ends_with("/tidelink_platform_tests")) << path;
}

TEST(ProcessList, ChildIsSeenWhileRunningAndGoneOnceReaped) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    pause();
    _exit(0);
  }
  const auto id = static_cast<uint32_t>(child);
  EXPECT_TRUE(IsListed(id));
  EXPECT_TRUE(platform::IsProcessAlive(id));
  EXPECT_EQ(platform::GetProcessImagePath(id),
            platform::GetProcessImagePath(platform::GetCurrentProcessId()));
  kill(child, SIGKILL);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_FALSE(IsListed(id));
  EXPECT_FALSE(platform::IsProcessAlive(id));
  EXPECT_FALSE(platform::GetProcessImagePath(id));
}

// 0 and -1 as a pid_t would address process groups or every process, which always "exist".
TEST(ProcessList, IdsThatAreNoSingleProcessAreNotAlive) {
  EXPECT_FALSE(platform::IsProcessAlive(0));
  EXPECT_FALSE(platform::IsProcessAlive(UINT32_MAX));
  EXPECT_FALSE(platform::IsProcessAlive(0x80000000u));
  EXPECT_FALSE(platform::GetProcessImagePath(0));
}

}  // namespace
