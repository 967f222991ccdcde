#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

#include "platform/ProcessLaunch.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::SplitCommandLine;
using Arguments = std::vector<std::u16string>;

TEST(SplitCommandLineTest, FollowsTheQuotingAndBackslashRulesOfWindows) {
  EXPECT_EQ(SplitCommandLine(u""), Arguments{});
  EXPECT_EQ(SplitCommandLine(u"  a\tb  "), (Arguments{u"a", u"b"}));
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\Ombrel\\Ombrel.exe\" /ref:[TideLink] /ss:[0]"),
            (Arguments{u"C:\\Program Files\\Ombrel\\Ombrel.exe", u"/ref:[TideLink]", u"/ss:[0]"}));
  EXPECT_EQ(SplitCommandLine(u"a\\\\b c\\d"), (Arguments{u"a\\\\b", u"c\\d"})) << "backslashes alone are literal";
  EXPECT_EQ(SplitCommandLine(u"\"a\\\\\" b"), (Arguments{u"a\\", u"b"})) << "an even run before a quote halves";
  EXPECT_EQ(SplitCommandLine(u"a\\\"b"), (Arguments{u"a\"b"})) << "an odd run escapes the quote";
  EXPECT_EQ(SplitCommandLine(u"\"say \"\"hi\"\"\""), (Arguments{u"say \"hi\""}));
  EXPECT_EQ(SplitCommandLine(u"\"\" x"), (Arguments{u"", u"x"})) << "empty quotes are an empty argument";
  EXPECT_EQ(SplitCommandLine(u"\"open ended"), (Arguments{u"open ended"}));
}

class ProcessLaunchTest : public TestEnvironment {};

TEST_F(ProcessLaunchTest, StartsTheProgramInItsFolderWithItsArgumentsAndLeavesNoChild) {
  const std::u16string folder = platform::Utf16FromUtf8(scratch().string());
  ASSERT_TRUE(platform::CreateProcess(u"/bin/sh", u"sh -c \"echo \\\"$0 $1\\\" > out.txt\" \"first arg\" second", folder));
  const auto output = scratch() / "out.txt";
  for (int waited = 0; waited < 500 && (!std::filesystem::exists(output) || std::filesystem::file_size(output) == 0); ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFile(output), "first arg second\n");
  // The launched program was handed to init: nothing is left for us to wait for.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(ProcessLaunchTest, AProgramThatCannotStartIsReported) {
  EXPECT_FALSE(platform::CreateProcess(u"/nonexistent/Ombrel.exe", u"Ombrel.exe", u""));
  EXPECT_FALSE(platform::CreateProcess(u"/bin/sh", u"sh", u"/nonexistent-folder"));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
