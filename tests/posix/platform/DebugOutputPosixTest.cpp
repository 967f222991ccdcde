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

using DebugOutputPosixTest = TestEnvironment;

TEST_F(DebugOutputPosixTest, AppendsUtf8TextToTheLogCreatedOwnerOnly) {
  platform::OutputDebugText(u"[log]: r\u00E9sum\u00E9\n");
  platform::OutputDebugText(u"\U0001F600 as given");
  EXPECT_EQ(ReadFile(debugLogPath()), "[log]: r\xC3\xA9sum\xC3\xA9\n\xF0\x9F\x98\x80 as given");
  struct stat status;
  ASSERT_EQ(stat(debugLogPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(DebugOutputPosixTest, UnopenableOrUnsetLogFallsBackToStandardError) {
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
