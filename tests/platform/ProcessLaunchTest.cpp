#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/ProcessLaunch.h"
#include "platform/TextConversion.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::SplitCommandLine;
using Arguments = std::vector<std::u16string>;

TEST(SplitCommandLineTest, ArgumentsFollowTheQuotingAndBackslashRulesOfWindows) {
  EXPECT_EQ(SplitCommandLine(u""), Arguments{});
  EXPECT_EQ(SplitCommandLine(u"p  a\tb  "), (Arguments{u"p", u"a", u"b"}));
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\Ombrel\\Ombrel.exe\" /ref:[TideLink] /ss:[0]"),
            (Arguments{u"C:\\Program Files\\Ombrel\\Ombrel.exe", u"/ref:[TideLink]", u"/ss:[0]"}));
  EXPECT_EQ(SplitCommandLine(u"p a\\\\b c\\d"), (Arguments{u"p", u"a\\\\b", u"c\\d"})) << "backslashes alone are literal";
  EXPECT_EQ(SplitCommandLine(u"p \"a\\\\\" b"), (Arguments{u"p", u"a\\", u"b"})) << "an even run before a quote halves";
  EXPECT_EQ(SplitCommandLine(u"p a\\\"b"), (Arguments{u"p", u"a\"b"})) << "an odd run escapes the quote";
  EXPECT_EQ(SplitCommandLine(u"p a\\\\\\\"b"), (Arguments{u"p", u"a\\\"b"})) << "three give one and a quote";
  EXPECT_EQ(SplitCommandLine(u"p \"say \"\"hi\"\"\""), (Arguments{u"p", u"say \"hi\""}));
  EXPECT_EQ(SplitCommandLine(u"p \"\" x"), (Arguments{u"p", u"", u"x"})) << "empty quotes are an empty argument";
  EXPECT_EQ(SplitCommandLine(u"p \"open ended"), (Arguments{u"p", u"open ended"}));
  EXPECT_EQ(SplitCommandLine(u"p a\"b c\"d e"), (Arguments{u"p", u"ab cd", u"e"})) << "quotes group inside a word";
}

TEST(SplitCommandLineTest, TheProgramNameKnowsNoEscapes) {
  // A folder that ends in a backslash must not swallow the closing quote and the arguments.
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Ombrel\\\" /ss:[0]"), (Arguments{u"C:\\Ombrel\\", u"/ss:[0]"}));
  EXPECT_EQ(SplitCommandLine(u"a\\\"b c\" d"), (Arguments{u"a\\b c", u"d"})) << "a quote only groups";
  EXPECT_EQ(SplitCommandLine(u" a b"), (Arguments{u"", u"a", u"b"})) << "a leading blank is an empty name";
}

TEST(QuoteArgumentTest, EveryArgumentComesBackUnchanged) {
  for (const std::u16string argument : {u"", u"plain", u"two words", u"trailing\\", u"say \"hi\"", u"\\\"\\",
                                        u"C:\\Drawings\\House 2.vwx", u"tab\there"}) {
    EXPECT_EQ(SplitCommandLine(u"p " + platform::QuoteArgument(argument)), (Arguments{u"p", argument}))
        << platform::Utf8FromUtf16(argument);
  }
}

class ProcessLaunchTest : public TestEnvironment {
protected:
  // Waits until `path` holds something, at most five seconds.
  static std::string WaitForFile(const std::filesystem::path& path) {
    for (int waited = 0; waited < 500 && (!std::filesystem::exists(path) || std::filesystem::file_size(path) == 0);
         ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
  }
};

TEST_F(ProcessLaunchTest, StartsTheProgramInItsFolderWithItsArgumentsAndLeavesNoChild) {
  const std::u16string folder = platform::Utf16FromUtf8(scratch().string());
  ASSERT_TRUE(platform::LaunchProcess(
      u"/bin/sh", u"sh -c \"echo \\\"$0 $1 $TIDELINK_SHOW_STATE\\\" > out.tmp && mv out.tmp out.txt\" \"first arg\" second",
      folder, platform::kShowMaximized));
  EXPECT_EQ(WaitForFile(scratch() / "out.txt"), "first arg second 3\n");
  // The launched program was handed to init: nothing is left for us to wait for.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessLaunchTest, TheChildHoldsNoDescriptorOfTheCaller) {
  // A pipe left open by the child would keep a reader of the caller's output waiting for ever.
  int inherited[2];
  ASSERT_EQ(pipe(inherited), 0);
  setenv("TIDELINK_SHOW_STATE", "7", 1);
  const std::u16string folder = platform::Utf16FromUtf8(scratch().string());
  ASSERT_TRUE(platform::LaunchProcess(
      u"/bin/sh", u"sh -c \"(ls -l /proc/$$/fd; echo state $TIDELINK_SHOW_STATE) > fd.tmp && mv fd.tmp fd.txt\"", folder,
      platform::kShowNormal));
  const std::string listing = WaitForFile(scratch() / "fd.txt");
  close(inherited[0]);
  close(inherited[1]);
  EXPECT_EQ(listing.find("pipe:"), std::string::npos) << listing;
  EXPECT_NE(listing.find("0 -> /dev/null"), std::string::npos) << listing;
  EXPECT_NE(listing.find("2 -> /dev/null"), std::string::npos) << listing;
  EXPECT_NE(listing.find("state 1\n"), std::string::npos) << "the caller's own value is replaced: " << listing;
}

TEST_F(ProcessLaunchTest, ARelativeProgramIsFoundFromTheCallersFolder) {
  std::filesystem::create_directories(scratch() / "bin");
  std::filesystem::create_directories(scratch() / "elsewhere");
  std::filesystem::copy_file("/bin/sh", scratch() / "bin" / "sh");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch());
  const bool started = platform::LaunchProcess(u"bin/sh", u"sh -c \"pwd > here.tmp && mv here.tmp here.txt\"",
                                               u"elsewhere", platform::kShowNormal);
  std::filesystem::current_path(previous);
  ASSERT_TRUE(started);
  EXPECT_EQ(WaitForFile(scratch() / "elsewhere" / "here.txt"), (scratch() / "elsewhere").string() + "\n");
}

TEST_F(ProcessLaunchTest, AProgramThatCannotStartIsReported) {
  EXPECT_FALSE(platform::LaunchProcess(u"/nonexistent/Ombrel.exe", u"Ombrel.exe", u"", platform::kShowNormal));
  EXPECT_FALSE(platform::LaunchProcess(u"/bin/sh", u"sh", u"/nonexistent-folder", platform::kShowNormal));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
