#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/Path.h"
#include "platform/TextConversion.h"
#include "sdk/HostBinding.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHost.h"
#include "ui/DialogUI.h"
#include "ui/MessageBoxStyle.h"
#include "ui/TerminalBackend.h"

namespace {

using ui::TerminalBackend;

class TerminalBackendTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    HostBinding::Bind(&TestHost::Callback);
  }
  void TearDown() override {
    HostBinding::Release();
    TestEnvironment::TearDown();
  }

  // A UI on a terminal whose user types `typed`.
  DialogUI& StartWithInput(const std::string& typed) {
    input.str(typed);
    dialogUI = std::make_unique<DialogUI>(std::make_unique<TerminalBackend>(input, output, progress), u"");
    return *dialogUI;
  }

  TestHost host;
  std::istringstream input;
  std::ostringstream output;
  std::ostringstream progress;
  std::unique_ptr<DialogUI> dialogUI;
};

class StoredSettings : public ui::SettingsAccess {
public:
  bool IsOn(ui::DialogSetting setting) override { return setting == ui::DialogSetting::RepairMode; }
  void Store(ui::DialogSetting setting, bool on) override { stores.emplace_back(setting, on); }
  std::vector<std::pair<ui::DialogSetting, bool>> stores;
};

TEST_F(TerminalBackendTest, BoxesAskOnlyWhenThereIsAChoiceAndRepeatUntilUnderstood) {
  host.texts = {{u"dlg_title_not_running", u"Not running"}, {u"dlg_msg_not_running", u"Start Ombrel %s?"}};
  DialogUI& dialogUI = StartWithInput("maybe\nn\nyes\n");
  EXPECT_EQ(dialogUI.ShowMessage(u"Saved.", u"Ombrel TideLink - Done", 0x40), ui::kResultOk);
  EXPECT_FALSE(dialogUI.AskNotRunning(u"8.5"));
  EXPECT_TRUE(dialogUI.AskNotRunning(u"8.5"));
  const std::string shown = output.str();
  EXPECT_NE(shown.find("== Ombrel TideLink - Done ==\nSaved.\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Start Ombrel 8.5?\n(yes/no, Enter for yes)"), std::string::npos) << shown;
}

TEST_F(TerminalBackendTest, TheEndOfTheInputClosesBoxesAndDialogsWithoutWaiting) {
  DialogUI& dialogUI = StartWithInput("");
  EXPECT_FALSE(dialogUI.AskOldVersion(u"8.5"));
  EXPECT_EQ(dialogUI.ChooseExportFile(u"House.dae", u"/plans"), u"");
  StoredSettings settings;
  dialogUI.ShowSettings(settings);
  EXPECT_TRUE(settings.stores.empty());
}

TEST_F(TerminalBackendTest, SettingsDialogIsWorkedByTypedNumbers) {
  DialogUI& dialogUI = StartWithInput("1003\nnonsense\n\n");
  StoredSettings settings;
  dialogUI.ShowSettings(settings);
  EXPECT_EQ(settings.stores, (std::vector<std::pair<ui::DialogSetting, bool>>{{ui::DialogSetting::RepairMode, false}}));
  const std::string shown = output.str();
  EXPECT_NE(shown.find("  1003  [x] Repair mode\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("  1003  [ ] Repair mode\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Enter for OK"), std::string::npos) << shown;
}

TEST_F(TerminalBackendTest, SaveDialogOffersThePreparedPathAndAsksBeforeReplacing) {
  const std::string folder = scratch().string();
  std::ofstream(scratch() / "House.dae") << "old";
  const std::string other = folder + "/Other";
  DialogUI& dialogUI = StartWithInput("\nno\n" + other + "\n");
  EXPECT_EQ(dialogUI.ChooseExportFile(u"/plans/House.vwx", scratch().u16string()), platform::Utf16FromUtf8(other + ".dae"));
  const std::string shown = output.str();
  const std::string offered = platform::Utf8FromUtf16(platform::JoinPath(scratch().u16string(), u"House.dae"));
  EXPECT_NE(shown.find("Save as [" + offered + "]"), std::string::npos) << shown;
  EXPECT_NE(shown.find("already exists. Replace it?"), std::string::npos) << shown;
}

// "House" becomes House.dae, so that is the file the question must be about.
TEST_F(TerminalBackendTest, ANameTypedWithoutItsExtensionIsAskedAboutAsTheFileItBecomes) {
  const auto inScratch = [&](std::u16string_view name) {
    return platform::Utf8FromUtf16(platform::JoinPath(scratch().u16string(), name));
  };
  std::ofstream(scratch() / "House.dae") << "old";
  DialogUI& dialogUI = StartWithInput(inScratch(u"House") + "\nno\n" + inScratch(u"Other") + "\n");
  EXPECT_EQ(dialogUI.ChooseExportFile(u"/plans/House.vwx", scratch().u16string()),
            platform::Utf16FromUtf8(inScratch(u"Other.dae")));
  EXPECT_NE(output.str().find(inScratch(u"House.dae") + " already exists. Replace it?"), std::string::npos)
      << output.str();
}

TEST_F(TerminalBackendTest, ProgressIsOneLiveLineThatClearsItself) {
  DialogUI& dialogUI = StartWithInput("");
  dialogUI.ShowProgress();
  dialogUI.SetProgressText(u"Writing the COLLADA file...");
  dialogUI.HideProgress();
  const std::string line = progress.str();
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_NE(line.find("] Writing the COLLADA file..."), std::string::npos) << line;
  EXPECT_EQ(line.back(), '\r');
}

}  // namespace
