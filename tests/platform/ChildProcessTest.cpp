// Programs started with their output and errors in a file: what a test reads where no shell can
// redirect them. The program is this test executable, running the printing case below.

#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"

namespace {

constexpr const char* kPrintBoth = "TIDELINK_TEST_PRINT_BOTH";

class ChildProcessTest : public TestEnvironment {
protected:
  static std::u16string Self() { return *platform::GetProcessImagePath(platform::GetCurrentProcessId()); }

  // Runs the printing case in a child whose output and errors go to `file`; gives its status.
  static std::optional<int> RunPrinter(const std::filesystem::path& file) {
    const ScopedEnvironment asked(kPrintBoth, "1");
    platform::ChildProcess child;
    if (!platform::ChildProcess::StartWithOutputFile(
            Self(), {u"--gtest_filter=ChildProcessTest.PrintsOnBothStreamsWhenAskedTo"},
            platform::Utf16FromUtf8(file.string()), child)) {
      return std::nullopt;
    }
    return child.Wait(std::chrono::minutes(5));
  }
};

// Run in a process of its own by the tests below; skipped otherwise.
TEST_F(ChildProcessTest, PrintsOnBothStreamsWhenAskedTo) {
  if (!std::getenv(kPrintBoth)) GTEST_SKIP() << "helper for the output file tests";
  std::fputs("first on output\n", stdout);
  std::fflush(stdout);
  std::fputs("second on errors\n", stderr);
  std::fflush(stderr);
  std::fputs("third on output\n", stdout);
  std::fflush(stdout);
}

TEST_F(ChildProcessTest, OutputAndErrorsShareTheFileInTheOrderWritten) {
  const std::filesystem::path file = scratch() / "printed.txt";
  std::ofstream(file) << "left from before\n";
  ASSERT_EQ(RunPrinter(file), 0);
  const std::string printed = ReadFile(file);
  EXPECT_EQ(printed.find("left from before"), std::string::npos) << "the file was not emptied";
  const size_t first = printed.find("first on output");
  const size_t second = printed.find("second on errors");
  const size_t third = printed.find("third on output");
  ASSERT_NE(first, std::string::npos) << printed;
  ASSERT_NE(second, std::string::npos) << printed;
  ASSERT_NE(third, std::string::npos) << printed;
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
}

TEST_F(ChildProcessTest, AFileThatCannotBeMadeStartsNothing) {
  platform::ChildProcess child;
  EXPECT_FALSE(platform::ChildProcess::StartWithOutputFile(
      Self(), {u"--gtest_list_tests"}, platform::Utf16FromUtf8((scratch() / "missing" / "out.txt").string()), child));
  EXPECT_EQ(child.processId(), 0u);
  EXPECT_FALSE(platform::ChildProcess::StartWithOutputFile(Self(), {u"--gtest_list_tests"}, u"", child));
  EXPECT_EQ(child.processId(), 0u);
}

}  // namespace
