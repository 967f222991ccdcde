#pragma once

#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"

// These suites start their own executable again to play the other process: `childTest` names a
// disabled test of the suite that does what the parent needs of it. Its printed lines are read
// with ReadLine.
inline bool StartSelf(const std::string& childTest, const std::vector<std::u16string>& extraArguments,
                      platform::ChildProcess& child) {
  const auto self = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  if (!self) return false;
  std::vector<std::u16string> arguments{platform::Utf16FromUtf8("--gtest_filter=" + childTest),
                                        u"--gtest_also_run_disabled_tests"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  return platform::ChildProcess::Start(*self, arguments, true, child);
}

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
