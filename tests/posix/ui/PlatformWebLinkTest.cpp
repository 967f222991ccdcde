#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include "platform/ModulePath.h"
#include "platform/TextConversion.h"
#include "platform/WebLink.h"
#include "tests/support/TestEnvironment.h"

namespace {

class PlatformWebLinkTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    if (const char* path = std::getenv("PATH")) savedPath_ = path;
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    TestEnvironment::TearDown();
  }

  // A stand-in opener on PATH that writes its argument count and first argument to a file.
  std::filesystem::path InstallOpener() {
    const auto folder = scratch() / "bin";
    std::filesystem::create_directories(folder);
    const auto opener = folder / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" << (scratch() / "opened.tmp").string()
                          << "\"\nmv \"" << (scratch() / "opened.tmp").string() << "\" \""
                          << (scratch() / "opened").string() << "\"\n";
    chmod(opener.c_str(), 0755);
    // An empty entry (the current folder) is never searched; the system's tools stay reachable.
    const std::string path = std::string(":").append(folder.string()).append(":").append(savedPath_);
    setenv("PATH", path.c_str(), 1);
    return scratch() / "opened";
  }

private:
  std::string savedPath_;
};

TEST_F(PlatformWebLinkTest, AddressReachesTheOpenerAsOneUnchangedArgumentAndLeavesNoChild) {
  const auto opened = InstallOpener();
  const std::u16string address = u"https://www.ombrel.com/a b?x=\"1\"&y=\\\\\"2\\";
  ASSERT_TRUE(platform::OpenWebAddress(address));

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!std::filesystem::exists(opened) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFile(opened), "1|" + platform::Utf8FromUtf16(address));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD) << "the opener must not be left to us";
}

TEST_F(PlatformWebLinkTest, WithoutAnOpenerTheCallerIsToldToShowTheAddress) {
  std::filesystem::create_directories(scratch() / "empty");
  setenv("PATH", (scratch() / "empty").c_str(), 1);
  EXPECT_FALSE(platform::OpenWebAddress(u"https://www.ombrel.com"));
}

TEST(PlatformModulePathTest, ModuleFolderIsTheFolderOfTheProgramHoldingTheCode) {
  const std::u16string folder = platform::GetModuleFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(std::filesystem::path(folder), std::filesystem::canonical("/proc/self/exe").parent_path());
}

}  // namespace
