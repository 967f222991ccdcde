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

class ProcessLaunchPosixTest : public TestEnvironment {
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

using platform::SplitCommandLine;
using Arguments = std::vector<std::u16string>;

TEST_F(ProcessLaunchPosixTest, StartsTheProgramInItsFolderWithItsArgumentsAndLeavesNoChild) {
  const std::u16string folder = platform::Utf16FromUtf8(scratch().string());
  ASSERT_TRUE(platform::LaunchProcess(
      u"/bin/sh", u"sh -c \"echo \\\"$0 $1 $TIDELINK_SHOW_STATE\\\" > out.tmp && mv out.tmp out.txt\" \"first arg\" second",
      folder, platform::kShowMaximized));
  EXPECT_EQ(WaitForFile(scratch() / "out.txt"), "first arg second 3\n");
  // The launched program was handed to init: nothing is left for us to wait for.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessLaunchPosixTest, TheChildHoldsNoDescriptorOfTheCaller) {
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

TEST_F(ProcessLaunchPosixTest, ARelativeProgramIsFoundFromTheCallersFolder) {
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

TEST_F(ProcessLaunchPosixTest, AProgramThatCannotStartIsReported) {
  EXPECT_FALSE(platform::LaunchProcess(u"/nonexistent/Ombrel.exe", u"Ombrel.exe", u"", platform::kShowNormal));
  EXPECT_FALSE(platform::LaunchProcess(u"/bin/sh", u"sh", u"/nonexistent-folder", platform::kShowNormal));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
