#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "diag/DebugLog.h"
#include "tests/support/TestEnvironment.h"

namespace {

class DebugLogTest : public TestEnvironment {
protected:
  std::string Logged() const { return ReadFile(debugLogPath()); }
};

TEST_F(DebugLogTest, ControlCharactersOfTheFormatPassThroughBeforeTheLineEnd) {
  DebugLog("Active document has been closed - stop tideLink\n\b%s", "");
  EXPECT_EQ(Logged(), "[BriscaLogger]: Active document has been closed - stop tideLink\n\b\n");
}

TEST_F(DebugLogTest, AFormatWithoutPlaceholdersStandsAsItIsBehindThePrefix) {
  DebugLog("100%% plain");
  DebugLog("Stop: %s (%d)", "C:/Drawings/House \xC3\xA9t\xC3\xA9.vwx", 42);
  EXPECT_EQ(Logged(),
            "[BriscaLogger]: 100% plain\n"
            "[BriscaLogger]: Stop: C:/Drawings/House \xC3\xA9t\xC3\xA9.vwx (42)\n");
}

TEST_F(DebugLogTest, LongMessagesAreNotCut) {
  const std::string longText(100000, 'x');
  DebugLog("%s", longText.c_str());
  EXPECT_EQ(Logged(), "[BriscaLogger]: " + longText + "\n");
}

TEST_F(DebugLogTest, LinesFromManyThreadsNeverInterleave) {
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([thread] {
      for (int line = 0; line < 200; ++line) DebugLog("thread %d line %d %s", thread, line, std::string(300, 'y').c_str());
    });
  }
  for (std::thread& thread : threads) thread.join();

  const std::string logged = Logged();
  size_t lines = 0;
  for (size_t start = 0; start < logged.size();) {
    const size_t end = logged.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = logged.substr(start, end - start);
    EXPECT_EQ(line.rfind("[BriscaLogger]: thread ", 0), 0u) << line.substr(0, 60);
    EXPECT_EQ(line.size() - line.find_last_not_of('y') - 1, 300u);
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, 800u);
}

}  // namespace
