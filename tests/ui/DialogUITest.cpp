#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "platform/Path.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "sdk/HostBinding.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHost.h"
#include "ui/DialogUI.h"
#include "ui/HeadlessBackend.h"
#include "ui/MessageBoxStyle.h"

namespace {

using ui::DialogSetting;
using ui::DialogState;
using ui::HeadlessBackend;

constexpr intptr_t kHostWindow = 42;

// Settings kept in memory, counting what the dialog reads and stores.
class StoredSettings : public ui::SettingsAccess {
public:
  bool IsOn(DialogSetting setting) override { return values[setting]; }
  void Store(DialogSetting setting, bool on) override {
    values[setting] = on;
    stores.emplace_back(setting, on);
  }

  std::map<DialogSetting, bool> values{
      {DialogSetting::CameraAutoSync, false}, {DialogSetting::RepairMode, true}, {DialogSetting::OptimizeGeometries, true}};
  std::vector<std::pair<DialogSetting, bool>> stores;
};

size_t ThreadCount() { return platform::CountProcessThreads(); }

// Waits up to two seconds for `condition`.
template <class Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class DialogUITest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    host.mainWindow = kHostWindow;
    HostBinding::Bind(&TestHost::Callback);
  }
  void TearDown() override {
    dialogUI.reset();
    HostBinding::Release();
    TestEnvironment::TearDown();
  }

  // The module's pictures, present only in name: nothing here reads their pixels.
  std::u16string PictureFolder() {
    const auto folder = scratch() / "module";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "about_107.png") << "png";
    std::ofstream(folder / "icon_110.ico") << "ico";
    return folder.u16string();
  }

  HeadlessBackend& Start(const std::string& script = "", ui::HeadlessOptions options = {}, bool withPictures = true) {
    auto backend = std::make_unique<HeadlessBackend>(ui::HeadlessScript::Parse(script), options);
    HeadlessBackend& kept = *backend;
    dialogUI = std::make_unique<DialogUI>(std::move(backend), withPictures ? PictureFolder() : u"");
    return kept;
  }

  static const ui::DialogItemState& Item(const DialogState& dialog, int id) {
    const ui::DialogItemState* item = dialog.Item(id);
    EXPECT_NE(item, nullptr) << "no item " << id;
    static const ui::DialogItemState kNone;
    return item ? *item : kNone;
  }

  TestHost host;
  std::unique_ptr<DialogUI> dialogUI;
};

// Settings dialog

TEST_F(DialogUITest, SettingsDialogShowsLookedUpTextsTooltipsAndTheStoredValues) {
  host.texts = {{u"dlg_title_settings", u"Réglages"},
                {u"dlg_settings_camera_sync", u"Caméra"},
                {u"dlg_settings_camera_sync_tip", u"Suit la vue"},
                {u"dlg_settings_repair_mode", u"Réparer"},
                {u"dlg_settings_optimize_geometries", u"Optimiser"},
                {u"dlg_settings_optimize_geometries_tip", u"Plus petit"}};
  HeadlessBackend& backend = Start();
  StoredSettings settings;
  dialogUI->ShowSettings(settings);

  ASSERT_EQ(backend.Dialogs().size(), 1u);
  const ui::DialogRecord record = backend.Dialogs()[0];
  EXPECT_EQ(record.owner, kHostWindow);
  const DialogState& opened = record.opened;
  EXPECT_EQ(opened.templateId, 101);
  EXPECT_EQ(opened.caption, u"Réglages");
  ASSERT_TRUE(opened.smallIcon.has_value());
  EXPECT_EQ(opened.smallIcon->shownSize, (ui::Size{16, 16}));
  EXPECT_EQ(Item(opened, 1002).text, u"Caméra");
  EXPECT_EQ(Item(opened, 1002).tooltip, u"Suit la vue");
  EXPECT_FALSE(Item(opened, 1002).checked);
  EXPECT_EQ(Item(opened, 1003).text, u"Réparer");
  EXPECT_EQ(Item(opened, 1003).tooltip, u"") << "no tip text, no tooltip";
  EXPECT_TRUE(Item(opened, 1003).checked);
  EXPECT_EQ(Item(opened, 1004).tooltip, u"Plus petit");
  EXPECT_TRUE(Item(opened, 1004).checked);
  EXPECT_TRUE(settings.stores.empty()) << "opening stores nothing";
}

TEST_F(DialogUITest, MissingTextsLeaveTheTemplateTexts) {
  HeadlessBackend& backend = Start("", {}, false);
  StoredSettings settings;
  dialogUI->ShowSettings(settings);

  const DialogState opened = backend.Dialogs().at(0).opened;
  EXPECT_EQ(opened.caption, u"Ombrel TideLink settings");
  EXPECT_EQ(Item(opened, 1002).text, u"Automatically start camera synchronization");
  EXPECT_EQ(Item(opened, 1003).text, u"Repair mode");
  EXPECT_EQ(Item(opened, 1004).text, u"Optimize geometries");
  for (const auto& item : opened.items) EXPECT_TRUE(item.tooltip.empty());
  EXPECT_FALSE(opened.smallIcon.has_value()) << "the icon file is missing";
}

TEST_F(DialogUITest, EachCheckBoxStoresAtOnceAndCancelUndoesNothing) {
  HeadlessBackend& backend = Start("dialog 1003 cancel\ndialog 1002 1004 1004 ok");
  StoredSettings settings;
  dialogUI->ShowSettings(settings);
  using Store = std::pair<DialogSetting, bool>;
  EXPECT_EQ(settings.stores, (std::vector<Store>{{DialogSetting::RepairMode, false}}));
  EXPECT_FALSE(settings.values[DialogSetting::RepairMode]);

  dialogUI->ShowSettings(settings);
  EXPECT_EQ(settings.stores, (std::vector<Store>{{DialogSetting::RepairMode, false},
                                                 {DialogSetting::CameraAutoSync, true},
                                                 {DialogSetting::OptimizeGeometries, false},
                                                 {DialogSetting::OptimizeGeometries, true}}));
  const auto dialogs = backend.Dialogs();
  EXPECT_EQ(dialogs[0].closed.result, ui::kCommandCancel);
  EXPECT_EQ(dialogs[1].closed.result, ui::kCommandOk);
  EXPECT_FALSE(Item(dialogs[1].opened, 1003).checked) << "the second dialog reads the stored change";
}

TEST_F(DialogUITest, ADialogLeftOpenByTheScriptIsClosedWithEnter) {
  HeadlessBackend& backend = Start();
  StoredSettings settings;
  dialogUI->ShowSettings(settings);
  EXPECT_EQ(backend.Dialogs().at(0).clicks, (std::vector<int>{ui::kCommandOk}));
  EXPECT_TRUE(settings.stores.empty());
}

// About dialog

TEST_F(DialogUITest, AboutDialogShowsVersionLinksAndThePictureScaledForTheScreen) {
  host.texts = {{u"dlg_title_about", u"Über"}, {u"dlg_about_label_support", u"Hilfe:"}};
  HeadlessBackend& backend = Start();
  dialogUI->ShowAbout();

  const DialogState opened = backend.Dialogs().at(0).opened;
  EXPECT_EQ(opened.templateId, 102);
  EXPECT_EQ(opened.caption, u"Über");
  EXPECT_FALSE(opened.smallIcon.has_value());
  EXPECT_EQ(Item(opened, 1007).text, u"version: 3.60.92");
  EXPECT_EQ(Item(opened, 1008).text, u"Hilfe:");
  EXPECT_EQ(Item(opened, 1010).text, u"Click here to get the latest version:");
  EXPECT_EQ(Item(opened, 1009).text, u"www.ombrel.com/support.html");
  EXPECT_EQ(Item(opened, 1011).text, u"www.ombrel.com/vectorworks-exporters.html");
  for (const int link : {1009, 1011}) {
    EXPECT_EQ(Item(opened, link).textColour, (ui::Colour{0, 0, 255}));
    EXPECT_EQ(Item(opened, link).font, (ui::FontDescription{u"MS Shell Dlg", -10, 700, true, 4}));
  }
  EXPECT_FALSE(Item(opened, 1008).textColour.has_value());
  const auto picture = Item(opened, 1004).picture;
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->shownSize, (ui::Size{110, 140}));
  EXPECT_TRUE(picture->IsScaled());
}

TEST_F(DialogUITest, AboutPictureIsUsedAsItIsAt384Dpi) {
  ui::HeadlessOptions options;
  options.metrics.dpi = 384;
  HeadlessBackend& backend = Start("", options);
  dialogUI->ShowAbout();
  const auto picture = Item(backend.Dialogs().at(0).opened, 1004).picture;
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->shownSize, (ui::Size{440, 560}));
  EXPECT_FALSE(picture->IsScaled());
}

TEST_F(DialogUITest, AboutPictureAndLinksOpenTheSiteAddressesWithTheQuery) {
  HeadlessBackend& backend = Start("dialog 1004 1009 1008 1011 ok");
  dialogUI->ShowAbout();
  EXPECT_EQ(backend.OpenedAddresses(), (std::vector<std::u16string>{dialogUI->GetRootAddress(),
                                                                    dialogUI->GetSupportAddress(),
                                                                    dialogUI->GetDownloadAddress()}));
  EXPECT_EQ(backend.Dialogs().at(0).clicks, (std::vector<int>{1004, 1009, 1008, 1011, 1}))
      << "the plain label 1008 opens nothing";
  EXPECT_EQ(dialogUI->GetSupportAddress(), u"https://www.ombrel.com/support.html" + dialogUI->GetQuery());
}

// Message boxes

struct ExpectedMessage {
  std::function<void(DialogUI&)> show;
  std::u16string titleKey;
  std::u16string messageKey;
  uint32_t flags;
  std::u16string argument;  // empty for texts shown as they stand
};

TEST_F(DialogUITest, EveryMessageShowsItsKeysAndFlags) {
  using Message = ui::UserMessage;
  auto titled = [](Message message) { return [message](DialogUI& dialogUI) { dialogUI.ShowTitledMessage(message); }; };
  const std::vector<ExpectedMessage> expected = {
      {titled(Message::SaveFirst), u"dlg_title_save_first", u"dlg_msg_save_first", 0x40, u""},
      {titled(Message::SheetLayerInit), u"dlg_title_sheet_layer", u"dlg_msg_sheet_layer_init", 0x40, u""},
      {titled(Message::SheetLayerResume), u"dlg_title_sheet_layer", u"dlg_msg_sheet_layer_resume", 0x40, u""},
      {titled(Message::SheetLayerCameraResume), u"dlg_title_sheet_layer", u"dlg_msg_sheet_layer_cam_resume", 0x40, u""},
      {titled(Message::MaterialWarning), u"dlg_title_material_warning", u"dlg_msg_material_warning", 0x40, u""},
      {titled(Message::VersionWarning), u"dlg_title_version_warning", u"dlg_msg_version_warning", 0x10, u""},
      {titled(Message::PerspectiveViewExport), u"dlg_title_perspective_view", u"dlg_msg_perspective_view_export", 0x40, u""},
      {titled(Message::ExportCanceled), u"dlg_title_export_canceled", u"dlg_msg_export_canceled", 0x40, u""},
      {[](DialogUI& ui) { ui.ShowAlreadyOpen(u"House"); }, u"dlg_title_already_open", u"dlg_msg_already_open", 0x10, u"House"},
      {[](DialogUI& ui) { ui.AskOldVersion(u"8.5"); }, u"dlg_title_old_version", u"dlg_msg_old_version", 0x24, u"8.5"},
      {[](DialogUI& ui) { ui.AskNotRunning(u"8.5"); }, u"dlg_title_not_running", u"dlg_msg_not_running", 0x24, u"8.5"},
      {[](DialogUI& ui) { ui.ShowExportComplete(u"/p/H.dae"); }, u"dlg_title_export_complete", u"dlg_msg_export_complete", 0x40, u"/p/H.dae"},
      {[](DialogUI& ui) { ui.ShowExportFailed(u"/p/H.dae"); }, u"dlg_title_export_failed", u"dlg_msg_export_failed", 0x10, u"/p/H.dae"},
      {[](DialogUI& ui) { ui.ShowExportNotWritten(u"/p/H.dae", u"Disk full"); }, u"dlg_title_export_not_written",
       u"dlg_msg_export_not_written", 0x10, u"/p/H.dae\nbecause Disk full"},
  };
  host.texts[u"dlg_msg_export_write_reason"] = u"because %s";
  for (const ExpectedMessage& message : expected) {
    host.texts[message.titleKey] = u"Title of " + message.titleKey;
    host.texts[message.messageKey] = u"[%s] " + message.messageKey;
  }
  HeadlessBackend& backend = Start();
  for (const ExpectedMessage& message : expected) message.show(*dialogUI);

  const auto boxes = backend.MessageBoxes();
  ASSERT_EQ(boxes.size(), expected.size());
  for (size_t index = 0; index < expected.size(); ++index) {
    const ExpectedMessage& message = expected[index];
    SCOPED_TRACE(platform::Utf8FromUtf16(message.messageKey));
    const bool filled = !message.argument.empty();
    EXPECT_EQ(boxes[index].request.caption, u"Ombrel TideLink - Title of " + message.titleKey);
    EXPECT_EQ(boxes[index].request.text, (filled ? u"[" + message.argument + u"] " : u"[%s] ") + message.messageKey);
    EXPECT_EQ(boxes[index].request.flags, message.flags);
    EXPECT_EQ(boxes[index].request.owner, kHostWindow);
    EXPECT_TRUE(boxes[index].gotSmallIcon);
  }
}

TEST_F(DialogUITest, TitleWithAPercentSignIsShownAsItStands) {
  host.texts = {{u"dlg_title_save_first", u"100% %s sure"}, {u"dlg_title_export_complete", u"100% %s done"},
                {u"dlg_msg_export_complete", u"Saved to %s"}};
  HeadlessBackend& backend = Start();
  dialogUI->ShowTitledMessage(ui::UserMessage::SaveFirst);
  dialogUI->ShowExportComplete(u"/p/50%.dae");
  dialogUI->ShowTitledMessage(u"5%", u"%s%%", 0x40);
  const auto boxes = backend.MessageBoxes();
  EXPECT_EQ(boxes[0].request.caption, u"Ombrel TideLink - 100% %s sure");
  EXPECT_EQ(boxes[1].request.caption, u"Ombrel TideLink - 100% %s done");
  EXPECT_EQ(boxes[1].request.text, u"Saved to /p/50%.dae");
  EXPECT_EQ(boxes[2].request.caption, u"Ombrel TideLink - 5%");
  EXPECT_EQ(boxes[2].request.text, u"%s%%");
}

TEST_F(DialogUITest, QuestionsAreTrueForYesAndFalseForNoOrClosing) {
  Start("message yes\nmessage no\nmessage close\nmessage yes\nmessage no\nmessage close\nmessage ok");
  EXPECT_TRUE(dialogUI->AskOldVersion(u"8.5"));
  EXPECT_FALSE(dialogUI->AskOldVersion(u"8.5"));
  EXPECT_FALSE(dialogUI->AskOldVersion(u"8.5"));
  EXPECT_TRUE(dialogUI->AskNotRunning(u"8.5"));
  EXPECT_FALSE(dialogUI->AskNotRunning(u"8.5"));
  EXPECT_FALSE(dialogUI->AskNotRunning(u"8.5"));
  EXPECT_TRUE(dialogUI->AskNotRunning(u"8.5")) << "a box without OK answers Enter: its default, Yes";
}

TEST_F(DialogUITest, OnlyCaptionsWithTheProductWordsGetTheSmallIconAndOnlyWhenItIsLoaded) {
  HeadlessBackend& withIcon = Start();
  EXPECT_EQ(dialogUI->ShowMessage(u"text", u"Ombrel TideLink - Note", 0x40), ui::kResultOk);
  dialogUI->ShowMessage(u"text", u"Some other caption", 0x40);
  EXPECT_TRUE(withIcon.MessageBoxes()[0].gotSmallIcon);
  EXPECT_FALSE(withIcon.MessageBoxes()[1].gotSmallIcon);

  HeadlessBackend& withoutIcon = Start("", {}, false);
  dialogUI->ShowMessage(u"text", u"Ombrel TideLink - Note", 0x40);
  EXPECT_FALSE(withoutIcon.MessageBoxes()[0].gotSmallIcon);
}

// Save dialog

TEST_F(DialogUITest, SaveDialogOffersThePreparedNameWithFiltersTitleAndOverwritePrompt) {
  host.texts = {{u"dlg_title_export", u"Save as COLLADA"},
                {u"dae_export_dae_files", u"COLLADA files (*.dae)"},
                {u"dae_export_all_files", u"All | files"}};
  HeadlessBackend& backend = Start("save");
  EXPECT_EQ(dialogUI->ChooseExportFile(u"/plans/House.vwx", u"/plans"), platform::JoinPath(u"/plans", u"House.dae"));

  const ui::SaveDialogRequest request = backend.SaveDialogs().at(0).request;
  EXPECT_EQ(request.owner, kHostWindow);
  EXPECT_EQ(request.fileName, u"House.dae");
  EXPECT_EQ(request.initialFolder, u"/plans");
  EXPECT_EQ(request.title, u"Save as COLLADA");
  EXPECT_EQ(request.options, 0x2u);
  EXPECT_EQ(request.filters, (std::vector<ui::FileFilter>{{u"COLLADA files (*.dae)", u"*.dae"},
                                                           {u"All | files", u"*.*"}}));
}

TEST_F(DialogUITest, ChosenPathsAreCompletedAndCancelGivesAnEmptyPath) {
  Start("save /home/j.smith/House\nsave /plans/House\nsave-cancel");
  EXPECT_EQ(dialogUI->ChooseExportFile(u"untitled.dae", u"/plans"), u"/home/j.smith/House");
  EXPECT_EQ(dialogUI->ChooseExportFile(u"untitled.dae", u"/plans"), u"/plans/House.dae");
  EXPECT_EQ(dialogUI->ChooseExportFile(u"untitled.dae", u"/plans"), u"");
}

TEST_F(DialogUITest, HostWindowIsLockedAndReleased) {
  HeadlessBackend& backend = Start();
  dialogUI->EnableHostWindow(false);
  dialogUI->EnableHostWindow(true);
  EXPECT_EQ(backend.HostWindowChanges(), (std::vector<bool>{false, true}));
}

// Progress window

TEST_F(DialogUITest, ProgressWindowOpensCentredOverTheHostWithItsBarAndNoCloseItem) {
  host.texts = {{u"dlg_export_progress_title", u"Export"}, {u"dlg_export_progress_label_wait", u"Wait..."}};
  ui::HeadlessOptions options;
  options.hostBounds = {100, 100, 1000, 700};
  HeadlessBackend& backend = Start("", options);
  dialogUI->ShowProgress();

  ASSERT_EQ(backend.ProgressWindows().size(), 1u);
  const DialogState window = backend.ProgressWindows()[0];
  EXPECT_EQ(window.templateId, 103);
  EXPECT_TRUE(window.visible);
  EXPECT_EQ(window.caption, u"Export");
  EXPECT_EQ(Item(window, 1020).text, u"Wait...");
  EXPECT_TRUE(window.closeItemDisabled);
  EXPECT_TRUE(window.smallIcon.has_value());
  ASSERT_TRUE(window.progressBar.has_value());
  EXPECT_EQ(window.progressBar->bounds, (ui::Rect{20, 60, 290, 13}));
  EXPECT_EQ(window.progressBar->style, 0x50000009u);
  EXPECT_EQ(window.progressBar->step, 25);
  // 219 × 85 dialog units are 438 × 170 pixels with base units 8 × 16.
  EXPECT_EQ(window.bounds, (ui::Rect{100 + (1000 - 438) / 2, 100 + (700 - 170) / 2, 438, 170}));
  dialogUI->HideProgress();
}

TEST_F(DialogUITest, ProgressTextIsCopiedAndShownInOrder) {
  HeadlessBackend& backend = Start();
  dialogUI->ShowProgress();
  {
    std::u16string text = u"Collecting the drawing...";
    dialogUI->SetProgressText(text);
    text.assign(100, u'x');  // the caller's string changes before the window gets to it
  }
  dialogUI->ProgressBehindHost();  // handled after the text, and waited for
  DialogState window = backend.ProgressWindows().at(0);
  EXPECT_EQ(Item(window, 1021).text, u"Collecting the drawing...");
  EXPECT_EQ(window.placedBehind, kHostWindow);

  dialogUI->SetProgressText(u"Writing the COLLADA file...");
  dialogUI->HideProgress();
  window = backend.ProgressWindows().at(0);
  EXPECT_EQ(Item(window, 1021).textsSet,
            (std::vector<std::u16string>{u"Collecting the drawing...", u"Writing the COLLADA file..."}));
}

TEST_F(DialogUITest, ShowingTheProgressTwiceReplacesTheWindow) {
  HeadlessBackend& backend = Start();
  const size_t threadsBefore = ThreadCount();
  dialogUI->ShowProgress();
  dialogUI->ShowProgress();
  // A joined thread can linger in the process's task list for a moment on a loaded machine.
  EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsBefore + 1; }));
  dialogUI->SetProgressText(u"second");
  dialogUI->HideProgress();
  EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsBefore; }));

  const auto windows = backend.ProgressWindows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_TRUE(Item(windows[0], 1021).textsSet.empty());
  EXPECT_EQ(Item(windows[1], 1021).text, u"second");
}

TEST_F(DialogUITest, ProgressBarStepsWhileTheWindowIsUp) {
  HeadlessBackend& backend = Start();
  dialogUI->ShowProgress();
  EXPECT_TRUE(Eventually([&] { return backend.ProgressWindows().at(0).progressBar->steps >= 2; }));
  dialogUI->HideProgress();
  const int steps = backend.ProgressWindows().at(0).progressBar->steps;
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(backend.ProgressWindows().at(0).progressBar->steps, steps);
}

TEST_F(DialogUITest, ProgressCallsWithoutAWindowDoNothing) {
  HeadlessBackend& backend = Start();
  dialogUI->SetProgressText(u"early");
  dialogUI->ProgressBehindHost();
  dialogUI->HideProgress();
  EXPECT_TRUE(backend.ProgressWindows().empty());
}

TEST_F(DialogUITest, DestroyingTheUIClosesTheProgressWindowAndEndsItsThread) {
  Start();
  const size_t threadsBefore = ThreadCount();
  dialogUI->ShowProgress();
  EXPECT_EQ(ThreadCount(), threadsBefore + 1);
  dialogUI.reset();
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(DialogUITest, ProcessWideInstanceTakesItsBackendFromTheEnvironment) {
  ScopedEnvironment backend("TIDELINK_UI", "headless");
  ScopedEnvironment script("TIDELINK_UI_SCRIPT", "message no");
  DialogUI& first = DialogUI::Instance();
  EXPECT_EQ(&DialogUI::Instance(), &first);
  EXPECT_FALSE(first.AskNotRunning(u"8.5")) << "without the script Enter would answer Yes";

  const size_t threadsBefore = ThreadCount();
  first.ShowProgress();
  DialogUI::DestroyInstance();
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

}  // namespace
