#include "platform/DebugOutput.h"

#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace {

class DebugOutputTest : public TestEnvironment {
protected:
  // Runs `action` with standard error sent to a file and gives what it wrote there.
  std::string CaptureStandardError(void (*action)()) {
    const std::filesystem::path capture = scratch() / "stderr.txt";
    const int file = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    close(file);
    action();
    dup2(saved, STDERR_FILENO);
    close(saved);
    return ReadFile(capture);
  }
};

TEST_F(DebugOutputTest, AppendsTextAsUtf8ToTheLogFileCreatedOwnerOnly) {
  platform::OutputDebugText(u"[first]: r\u00E9sum\u00E9\n");
  platform::OutputDebugText(u"second \U0001F600 no line break");
  EXPECT_EQ(ReadFile(debugLogPath()),
            "[first]: r\xC3\xA9sum\xC3\xA9\nsecond \xF0\x9F\x98\x80 no line break");
  struct stat status;
  ASSERT_EQ(stat(debugLogPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(DebugOutputTest, LinesOfConcurrentThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([thread] {
      // Long lines, so that a line written in pieces would show.
      const std::u16string line = std::u16string(200, static_cast<char16_t>(u'a' + thread)) + u"\n";
      for (int i = 0; i < kLines; ++i) platform::OutputDebugText(line);
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream log(ReadFile(debugLogPath()));
  int lineCount = 0;
  for (std::string line; std::getline(log, line); ++lineCount) {
    ASSERT_EQ(line.size(), 200u);
    ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos) << line;
  }
  EXPECT_EQ(lineCount, kThreads * kLines);
}

TEST_F(DebugOutputTest, WritesToStandardErrorWithoutLogOrWhenTheLogCannotBeOpened) {
  unsetenv("TIDELINK_DEBUG_LOG");
  EXPECT_EQ(CaptureStandardError([] { platform::OutputDebugText(u"to stderr\n"); }),
            "to stderr\n");
  setenv("TIDELINK_DEBUG_LOG", (scratch() / "missing" / "debug.log").c_str(), 1);
  EXPECT_EQ(CaptureStandardError([] { platform::OutputDebugText(u"fallback\n"); }),
            "fallback\n");
}

}  // namespace
