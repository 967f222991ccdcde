#include "platform/DebugOutput.h"

#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace {

using DebugOutputTest = TestEnvironment;

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

}  // namespace
