#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/MessageWindow.h"
#include "platform/ProcessLaunch.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "renderer/InstallDiscovery.h"
#include "renderer/RendererLaunch.h"
#include "tests/renderer/RendererTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "transport/TideLinkDocumentManager.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(RendererCommandLineTest, TheThreeFormsAfterTheQuotedProgram) {
  const std::u16string program = u"/opt/Ombrel 12/Ombrel.exe";
  EXPECT_EQ(RendererCommandLine(program, u"", 0), u"\"/opt/Ombrel 12/Ombrel.exe\" /ref:[TideLink] /ss:[0]");
  EXPECT_EQ(RendererCommandLine(program, u"", 17), u"\"/opt/Ombrel 12/Ombrel.exe\" /ref:[TideLink] /ss:[17]");
  EXPECT_EQ(RendererCommandLine(program, u"", kNoSsNumber), u"\"/opt/Ombrel 12/Ombrel.exe\"");
  EXPECT_EQ(RendererCommandLine(program, u"/home/ann/House 2.vwx", 5),
            u"\"/opt/Ombrel 12/Ombrel.exe\" \"/home/ann/House 2.vwx\"")
      << "a document path replaces the link reference";
  EXPECT_EQ(RendererCommandLine(program, u"", 0x80000000u), u"\"/opt/Ombrel 12/Ombrel.exe\" /ref:[TideLink] /ss:[2147483648]")
      << "the renderer reads the number back unsigned";
}

TEST(RendererCommandLineTest, TheDocumentPathReachesTheRendererWhole) {
  const std::u16string document = u"/home/ann/a \"b\" c\\";
  const std::vector<std::u16string> arguments =
      platform::SplitCommandLine(*RendererCommandLine(u"/opt/Ombrel.exe", document, 0));
  EXPECT_EQ(arguments, (std::vector<std::u16string>{u"/opt/Ombrel.exe", document}));
}

TEST(RendererCommandLineTest, ACommandLineBeyondItsBufferIsRefusedRatherThanCut) {
  const std::u16string program = u"/opt/Ombrel.exe";  // 17 units quoted, 18 with the space
  EXPECT_TRUE(RendererCommandLine(program, std::u16string(32767 - 20, u'd'), 0)) << "32767 units with both quotes";
  EXPECT_FALSE(RendererCommandLine(program, std::u16string(32767 - 19, u'd'), 0));
}

class RendererLaunchTest : public TestEnvironment {
protected:
  static std::string Quoted(const std::filesystem::path& path) {
    std::string quoted(1, '\'');
    quoted += path.string();
    quoted += '\'';
    return quoted;
  }
  // Installs the stand-in renderer into `folder` through its own command line.
  static void Install(const std::filesystem::path& folder, const std::string& version) {
    const CommandResult result = RunCommand(Quoted(binaryDirectory() / "Ombrel.exe") + " --install " + Quoted(folder) +
                                            " --version " + version);
    ASSERT_EQ(result.status, 0) << result.output;
  }
  static std::u16string Location(const std::filesystem::path& folder) {
    return platform::Utf16FromUtf8(folder.string() + "/");
  }
  // The renderer window that came up, waiting for it at most ten seconds.
  static platform::WindowHandle WaitForRendererWindow() {
    for (const auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;) {
      const auto windows = TideLinkDocumentManager::Instance().FindRendererWindows();
      if (!windows.empty()) return windows[0];
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
  }
  static bool WaitUntilGone(uint32_t processId) {
    for (const auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;) {
      if (!platform::IsProcessAlive(processId)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // Stops a renderer that should not have been started, so that a failing test leaves nothing.
  static void ExpectNoRendererStarted() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (const platform::WindowHandle window : TideLinkDocumentManager::Instance().FindRendererWindows()) {
      const auto attributes = platform::GetWindowAttributes(window);
      if (attributes) platform::RequestProcessStop(attributes->processId);
      ADD_FAILURE() << "a renderer was started";
    }
  }
};

TEST_F(RendererLaunchTest, UninstallRemovesOnlyTheInstallationItRunsFrom) {
  Install(scratch() / "old", "11.5");
  Install(scratch() / "new", "12.0");
  ASSERT_TRUE(Equals(FindInstalledVersion(), {12, 0, 0, 0}));
  const CommandResult removed = RunCommand(Quoted(scratch() / "new" / "Ombrel.exe") + " --uninstall");
  ASSERT_EQ(removed.status, 0) << removed.output;
  EXPECT_TRUE(Equals(FindInstalledVersion(), {11, 5, 0, 0}));
}

TEST_F(RendererLaunchTest, AMatchWithoutInstallLocationEndsTheSearch) {
  // First by creation and by name, the order Windows lists the entries in.
  AddUninstallEntry(u"A broken Ombrel 12", u"Ombrel 12", u"12.0");
  Install(scratch() / "good", "12.0");  // a complete entry of the same version after it
  EXPECT_FALSE(LaunchRenderer({12, 0, 0, 0}, u"", 0)) << "the later, complete entry must not be tried";
  ExpectNoRendererStarted();
}

TEST_F(RendererLaunchTest, NothingStartsWithoutAnInstallationToStart) {
  EXPECT_FALSE(LaunchRenderer({12, 0, 0, 0}, u"", 0)) << "no uninstall list";
  Install(scratch() / "gone", "12.0");
  std::filesystem::remove_all(scratch() / "gone");
  EXPECT_FALSE(LaunchRenderer({12, 0, 0, 0}, u"", 0)) << "the install folder no longer exists";
  EXPECT_FALSE(LaunchRenderer({12, 0, 0, 1}, u"", 0)) << "no installation of that exact version";

  std::filesystem::create_directories(scratch() / "empty");
  AddUninstallEntry(u"Ombrel 13", u"Ombrel 13", u"13.0", Location(scratch() / "empty").c_str());
  EXPECT_FALSE(LaunchRenderer({13, 0, 0, 0}, u"", 0)) << "a folder without the program";

  // An entry whose version cannot be read must not be taken for the none version.
  AddUninstallEntry(u"Ombrel", u"Ombrel", nullptr, Location(scratch() / "none").c_str());
  Install(scratch() / "none", "1.0");
  EXPECT_FALSE(LaunchRenderer({}, u"", 0));
  EXPECT_FALSE(LaunchRenderer({1, 0, 0, 0}, std::u16string(40000, u'd'), 0)) << "a command line that does not fit";
  ExpectNoRendererStarted();
}

}  // namespace
