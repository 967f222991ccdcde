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
#include "tests/renderer/RendererLaunchFixture.h"
#include "tests/renderer/RendererTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "transport/TideLinkDocumentManager.h"

namespace {

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

class RendererLaunchTest : public RendererLaunchFixture {};

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
