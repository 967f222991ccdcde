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

TEST(ProcessList, ChildIsListedAliveAndNamedWhileRunningAndGoneOnceReaped) {
  const uint32_t self = platform::GetCurrentProcessId();
  const auto image = platform::GetProcessImagePath(self);
  ASSERT_TRUE(image);
  EXPECT_TRUE(platform::Utf8FromUtf16(*image).ends_with("/tidelink_posix_platform_tests"));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    pause();
    _exit(0);
  }
  const auto id = static_cast<uint32_t>(child);
  EXPECT_NE(id, self);
  EXPECT_TRUE(IsListed(id));
  EXPECT_TRUE(platform::IsProcessAlive(id));
  EXPECT_EQ(platform::GetProcessImagePath(id), image);
  kill(child, SIGKILL);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  EXPECT_FALSE(IsListed(id));
  EXPECT_FALSE(platform::IsProcessAlive(id));
  EXPECT_FALSE(platform::GetProcessImagePath(id));
}

// A child that has ended but is not reaped yet still has its id; it is not alive.
TEST(ProcessList, AnEndedChildIsNotAliveBeforeItIsReaped) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  siginfo_t info{};
  // Waits for the end without reaping it.
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
  ASSERT_EQ(kill(child, 0), 0) << "the zombie is still there";
  EXPECT_FALSE(platform::IsProcessAlive(static_cast<uint32_t>(child)));
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
}

// As a pid_t these would address a process group or every process, which always "exist".
TEST(ProcessList, IdsOfNoSingleProcessAreNotAlive) {
  EXPECT_FALSE(platform::IsProcessAlive(0));
  EXPECT_FALSE(platform::IsProcessAlive(UINT32_MAX));
  EXPECT_FALSE(platform::IsProcessAlive(0x80000000u));
}

}  // namespace
