#include "platform/DebugOutput.h"

#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace {

using DebugOutputTest = TestEnvironment;

TEST_F(DebugOutputTest, AppendsUtf8TextToTheLogCreatedOwnerOnly) {
  platform::OutputDebugText(u"[log]: r\u00E9sum\u00E9\n");
  platform::OutputDebugText(u"\U0001F600 as given");
  EXPECT_EQ(ReadFile(debugLogPath()), "[log]: r\xC3\xA9sum\xC3\xA9\n\xF0\x9F\x98\x80 as given");
  struct stat status;
  ASSERT_EQ(stat(debugLogPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(DebugOutputTest, LinesOfConcurrentThreadsNeverInterleave) {
  std::vector<std::thread> threads;
  for (char16_t letter : {u'a', u'b', u'c', u'd'}) {
    threads.emplace_back([letter] {
      const std::u16string line = std::u16string(500, letter) + u"\n";
      for (int i = 0; i < 200; ++i) platform::OutputDebugText(line);
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream log(ReadFile(debugLogPath()));
  int lines = 0;
  for (std::string line; std::getline(log, line); ++lines) {
    ASSERT_EQ(line, std::string(500, line[0]));
  }
  EXPECT_EQ(lines, 800);
}

TEST_F(DebugOutputTest, UnopenableOrUnsetLogFallsBackToStandardError) {
  const std::filesystem::path captured = scratch() / "stderr";
  const int saved = dup(STDERR_FILENO);
  const int file = open(captured.c_str(), O_WRONLY | O_CREAT, 0600);
  dup2(file, STDERR_FILENO);
  setenv("TIDELINK_DEBUG_LOG", (scratch() / "missing" / "log").c_str(), 1);
  platform::OutputDebugText(u"first\n");
  unsetenv("TIDELINK_DEBUG_LOG");
  platform::OutputDebugText(u"second\n");
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(file);
  EXPECT_EQ(ReadFile(captured), "first\nsecond\n");
}

}  // namespace
