#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"

// These suites start their own executable again to play the other process: `childTest` names a
// disabled test of the suite that does what the parent needs of it. A `task` reaches the child
// in its environment (ChildTask), which carries any text, a path with non-ASCII letters
// included. What the child prints is read with ReadLineStartingWith.
inline constexpr const char* kChildTaskVariable = "TIDELINK_TEST_CHILD";

inline bool StartSelf(const std::string& childTest, const std::vector<std::u16string>& extraArguments,
                      platform::ChildProcess& child, const std::optional<std::string>& task = std::nullopt) {
  const auto self = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  if (!self) return false;
  std::vector<std::u16string> arguments{platform::Utf16FromUtf8("--gtest_filter=" + childTest),
                                        u"--gtest_also_run_disabled_tests"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  if (task) platform::WriteEnvironmentVariable(kChildTaskVariable, *task);
  const bool started = platform::ChildProcess::Start(*self, arguments, true, child);
  if (task) platform::RemoveEnvironmentVariable(kChildTaskVariable);
  return started;
}

// The task the parent gave this process.
inline std::optional<std::string> ChildTask() { return platform::ReadEnvironmentVariable(kChildTaskVariable); }

// The next line the child printed that starts with `prefix`, without the prefix and line break;
// empty when its output ends first.
inline std::string ReadLineStartingWith(platform::ChildProcess& child, const std::string& prefix) {
  std::string line;
  char character;
  while (child.ReadOutput(&character, 1) == 1) {
    if (character == '\r') continue;
    if (character != '\n') {
      line += character;
      continue;
    }
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    line.clear();
  }
  return {};
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
