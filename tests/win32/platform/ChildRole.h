#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/TextConversion.h"

// The second process of a cross-process test is this test program again, running one test case
// that does nothing unless TIDELINK_TEST_CHILD names its task.
namespace win32test {

inline constexpr const char* kChildTask = "TIDELINK_TEST_CHILD";

// The task given to this process, when it is the child.
inline std::optional<std::string> ChildTask() { return platform::ReadEnvironmentVariable(kChildTask); }

// Starts this program running only `testName`, with `task` in its environment.
inline bool StartChild(const std::string& testName, const std::string& task, platform::ChildProcess& child) {
  const std::string self = ::testing::internal::GetArgvs().front();
  platform::WriteEnvironmentVariable(kChildTask, task);
  const bool started = platform::ChildProcess::Start(
      platform::Utf16FromUtf8(self), {platform::Utf16FromUtf8("--gtest_filter=" + testName)}, false, child);
  platform::RemoveEnvironmentVariable(kChildTask);
  return started;
}

// Polls `condition` until it holds or the child has ended; a bound of a minute keeps a broken
// child from hanging the suite.
template <typename Condition>
bool WaitWhileChildRuns(platform::ChildProcess& child, Condition condition) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!condition()) {
    if (child.Wait(std::chrono::milliseconds(0)) || std::chrono::steady_clock::now() > giveUp) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace win32test
