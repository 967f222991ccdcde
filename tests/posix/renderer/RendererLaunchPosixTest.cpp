#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/MessageWindow.h"
#include "platform/ProcessLaunch.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "renderer/InstallDiscovery.h"
#include "renderer/RendererLaunch.h"
#include "tests/renderer/RendererLaunchFixture.h"
#include "tests/renderer/RendererTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "transport/TideLinkDocumentManager.h"

namespace {

class RendererLaunchPosixTest : public RendererLaunchFixture {
protected:
  static std::string ProcessFile(uint32_t processId, const char* name) {
    return ReadFile(std::filesystem::path("/proc") / std::to_string(processId) / name);
  }
};

TEST_F(RendererLaunchPosixTest, AnInstalledRendererIsLaunchedFoundRunningAndLeavesNothingBehind) {
  const auto folder = scratch() / "Ombrel 12";
  Install(folder, "12.0.1.157");
  const RendererVersion installed = FindInstalledVersion();
  ASSERT_TRUE(Equals(installed, {12, 0, 1, 157}));

  ASSERT_TRUE(LaunchRenderer(installed, u"", 0));
  const platform::WindowHandle window = WaitForRendererWindow();
  ASSERT_NE(window, 0u) << "the launched renderer did not come up";
  const RendererVersion running = FindRunningVersion(true);
  EXPECT_TRUE(Equals(running, installed)) << "its title shows the version it is installed as";
  const uint32_t processId = platform::GetWindowAttributes(window)->processId;

  // It runs the installed copy, from its folder, with the link reference, maximised.
  const std::string program = (folder / "Ombrel.exe").string();
  EXPECT_EQ(ProcessFile(processId, "cmdline"), program + '\0' + "/ref:[TideLink]" + '\0' + "/ss:[0]" + '\0');
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path("/proc") / std::to_string(processId) / "cwd", folder));
  EXPECT_NE(ProcessFile(processId, "environ").find(std::string("\0TIDELINK_SHOW_STATE=3\0", 23)), std::string::npos);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the renderer is not our child";
  EXPECT_EQ(errno, ECHILD);

  ASSERT_EQ(kill(static_cast<pid_t>(processId), SIGTERM), 0);
  EXPECT_TRUE(WaitUntilGone(processId)) << "the stopped renderer must not stay behind as a zombie";
  EXPECT_FALSE(platform::IsWindow(window));
  EXPECT_TRUE(platform::EnumerateWindows().empty());
  EXPECT_TRUE(std::filesystem::is_empty(scratch() / "runtime")) << "the window left its socket or attributes";

  // The installed copy removes its own registration.
  const CommandResult removed = RunCommand(Quoted(folder / "Ombrel.exe") + " --uninstall");
  EXPECT_EQ(removed.status, 0) << removed.output;
  EXPECT_TRUE(IsNone(FindInstalledVersion()));
  EXPECT_NE(RunCommand(Quoted(folder / "Ombrel.exe") + " --uninstall").status, 0) << "nothing left to remove";
}

TEST_F(RendererLaunchPosixTest, TheFirstEntryOfTheVersionSuppliesTheFolder) {
  Install(scratch() / "first", "12.0");
  AddUninstallEntry(u"Ombrel 12 copy", u"Ombrel 12", u"12.0", Location(scratch() / "second").c_str());
  Install(scratch() / "second", "11.0");  // the program only; its entry is for major 11

  ASSERT_TRUE(LaunchRenderer({12, 0, 0, 0}, u"", kNoSsNumber));
  const platform::WindowHandle window = WaitForRendererWindow();
  ASSERT_NE(window, 0u);
  const uint32_t processId = platform::GetWindowAttributes(window)->processId;
  EXPECT_EQ(ProcessFile(processId, "cmdline"), (scratch() / "first" / "Ombrel.exe").string() + '\0');
  kill(static_cast<pid_t>(processId), SIGTERM);
  EXPECT_TRUE(WaitUntilGone(processId));
}

}  // namespace
