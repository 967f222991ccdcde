// Processes from the toolhelp snapshot: a child is listed with its image and its parent, an ended
// one is not alive even while a handle keeps its id taken.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/ProcessList.h"
#include "tests/win32/platform/SelfProcess.h"

namespace {

using namespace std::chrono_literals;

bool IsListed(uint32_t processId) {
  const auto processes = platform::EnumerateProcesses();
  return std::find(processes.begin(), processes.end(), processId) != processes.end();
}

// The other process: says who started it, then waits to be ended.
TEST(ProcessListWin32Child, DISABLED_PrintParentAndWait) {
  std::printf("parent:%u\n", platform::GetParentProcessId());
  std::fflush(stdout);
  Sleep(INFINITE);
}

TEST(ProcessListWin32Test, AChildIsListedWithItsImageAndParentAndNotAliveOnceEnded) {
  platform::ChildProcess child;
  ASSERT_TRUE(StartSelf("ProcessListWin32Child.DISABLED_PrintParentAndWait", {}, child));
  const uint32_t self = platform::GetCurrentProcessId(), id = child.processId();
  EXPECT_EQ(ReadLineStartingWith(child, "parent:"), std::to_string(self));
  EXPECT_TRUE(IsListed(id));
  EXPECT_TRUE(platform::IsProcessAlive(id));
  EXPECT_EQ(platform::GetProcessImagePath(id), platform::GetProcessImagePath(self));

  ASSERT_TRUE(child.Terminate());
  ASSERT_TRUE(child.Wait(60s));
  // Our handle keeps the ended process's object, as a zombie keeps its id on POSIX.
  EXPECT_FALSE(platform::IsProcessAlive(id));
  child = platform::ChildProcess();
  EXPECT_FALSE(IsListed(id));
  EXPECT_FALSE(platform::IsProcessAlive(id));
  EXPECT_FALSE(platform::GetProcessImagePath(id));
  EXPECT_FALSE(platform::IsProcessAlive(0));
  EXPECT_FALSE(platform::IsProcessAlive(UINT32_MAX));
}

TEST(ProcessListWin32Test, ThreadsOfThisProcessAreCounted) {
  const size_t before = platform::CountProcessThreads();
  EXPECT_GE(before, 1u);
  bool ended = false;
  std::mutex mutex;
  std::condition_variable changed;
  std::thread waiting([&] {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return ended; });
  });
  EXPECT_EQ(platform::CountProcessThreads(), before + 1);
  {
    std::lock_guard lock(mutex);
    ended = true;
  }
  changed.notify_one();
  waiting.join();
}

}  // namespace
