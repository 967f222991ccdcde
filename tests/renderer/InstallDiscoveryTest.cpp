#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "renderer/InstallDiscovery.h"
#include "tests/renderer/RendererTestSupport.h"
#include "tests/support/BackgroundProcess.h"
#include "tests/support/TestEnvironment.h"

namespace {

std::string Text(const RendererVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) + "." +
         std::to_string(v.revision);
}

class InstalledVersionTest : public TestEnvironment {};

TEST_F(InstalledVersionTest, TheHighestInstallationWinsWhateverTheOrder) {
  AddUninstallEntry(u"Ombrel 12", u"Ombrel 12", u"12.0");
  AddUninstallEntry(u"Ombrel 11", u"Ombrel 11", u"11.5");
  AddUninstallEntry(u"Ombrel 12 build", u"Ombrel 12", u"12.0.1.157");
  AddUninstallEntry(u"Trial", u"Ombrel 13 Trial", u"13.0");
  AddUninstallEntry(u"Viewer", u"OMBREL VIEWER 14", u"14.0");
  AddUninstallEntry(u"Other", u"Other Renderer", u"20.0");
  EXPECT_EQ(Text(FindInstalledVersion()), "12.0.1.157");
}

TEST_F(InstalledVersionTest, EntriesWithoutAUsableVersionCountAsAbsent) {
  EXPECT_EQ(Text(FindInstalledVersion()), "0.0.0.0") << "no uninstall list at all";
  AddUninstallEntry(u"Ombrel 9", u"Ombrel 9", nullptr);
  AddUninstallEntry(u"Ombrel 10", u"Ombrel 10", u"unknown");
  AddUninstallEntry(u"Ombrel 11", u"Ombrel 11", (std::u16string(600, u' ') + u"11.0").c_str());
  EXPECT_EQ(Text(FindInstalledVersion()), "0.0.0.0");
  AddUninstallEntry(u"Ombrel 8", u"Ombrel 8", u"Version 8.4 (build 9)");
  EXPECT_EQ(Text(FindInstalledVersion()), "8.49.0.0");
}

// Stand-in renderers with chosen window titles, as real processes.
class RunningVersionTest : public TestEnvironment {
protected:
  void Start(const std::string& title) {
    const std::string program = (binaryDirectory() / "Ombrel.exe").string();
    renderers_.push_back(std::make_unique<BackgroundProcess>(program + " --seconds 60 --title '" + title + "'"));
    // A long title comes in several pieces of its first line.
    std::string line;
    do {
      line = renderers_.back()->ReadLine();
    } while (!line.empty() && line.find("is waiting for TideLink") == std::string::npos);
    ASSERT_FALSE(line.empty()) << "the renderer did not come up";
  }

private:
  std::vector<std::unique_ptr<BackgroundProcess>> renderers_;
};

TEST_F(RunningVersionTest, BetaAndReleaseCandidateMarksAreCutOff) {
  Start("Ombrel 12.0 Beta 2");
  EXPECT_EQ(Text(FindRunningVersion(false)), "12.0.0.0");
}

TEST_F(RunningVersionTest, TheHighestOfSeveralWindowsIsSelected) {
  Start("Ombrel 11.5 RC1");
  Start("Ombrel 12.1 rc 3");
  Start("Ombrel 9.9");
  EXPECT_EQ(Text(FindRunningVersion(true)), "12.1.0.0") << "lower case marks are cut as well";
}

TEST_F(RunningVersionTest, OnlyTitlesWithTheProductWordAndItsSpaceCount) {
  EXPECT_EQ(Text(FindRunningVersion(false)), "0.0.0.0") << "no renderer at all";
  Start("Ombrel12.0");
  Start("OMBREL 13.0");
  EXPECT_EQ(Text(FindRunningVersion(true)), "0.0.0.0");
  Start("Untitled - Ombrel 11.0.2");
  EXPECT_EQ(Text(FindRunningVersion(true)), "11.0.2.0");
}

TEST_F(RunningVersionTest, AtMost519UnitsOfTheTitleAreRead) {
  // The version's last digit sits on unit 520, the first one not read.
  Start(std::string(508, 'x') + "Ombrel 12.34");
  EXPECT_EQ(Text(FindRunningVersion(true)), "12.3.0.0");
  // The product word itself lies beyond what is read.
  Start(std::string(515, 'x') + "Ombrel 13.0");
  Start(std::string(100000, 'x') + "Ombrel 14.0");
  EXPECT_EQ(Text(FindRunningVersion(true)), "12.3.0.0");
}

}  // namespace
