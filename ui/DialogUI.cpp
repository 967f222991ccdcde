#include "ui/DialogUI.h"

#include <mutex>

#include "platform/Environment.h"
#include "platform/ModulePath.h"
#include "platform/TextConversion.h"
#include "sdk/MessageRecords.h"
#include "sdk/HostBinding.h"
#include "ui/AboutDialog.h"
#include "ui/ExportFileName.h"
#include "ui/MessageBoxStyle.h"
#include "ui/SettingsDialog.h"
#include "ui/TextFormat.h"
#include "ui/UIBackendFactory.h"

using namespace ui;

namespace {

constexpr std::u16string_view kTitledCaptionPrefix = u"Ombrel TideLink - ";
constexpr std::u16string_view kNamedCaptionFormat = u"Ombrel TideLink - %s";

struct SharedInstance {
  std::mutex mutex;
  std::unique_ptr<DialogUI> dialogUI;
};

SharedInstance& instance() {
  static SharedInstance state;
  return state;
}

WindowHandle ReadHostWindow() {
  const CallBackPtr callback = HostBinding::Callback();
  return callback ? callback(HostFunction::kGetMainWindow, nullptr) : 0;
}

}  // namespace

DialogUI& DialogUI::Instance() {
  auto& state = instance();
  std::lock_guard lock(state.mutex);
  if (!state.dialogUI) state.dialogUI = std::make_unique<DialogUI>(CreateUIBackend(), platform::GetModuleFolder());
  return *state.dialogUI;
}

bool DialogUI::CreateInstance(std::unique_ptr<UIBackend> backend) {
  auto& state = instance();
  std::lock_guard lock(state.mutex);
  if (state.dialogUI) return false;
  state.dialogUI = std::make_unique<DialogUI>(std::move(backend), platform::GetModuleFolder());
  return true;
}

void DialogUI::DestroyInstance() {
  auto& state = instance();
  std::lock_guard lock(state.mutex);
  state.dialogUI.reset();
}

DialogUI::DialogUI(std::unique_ptr<UIBackend> backend, std::u16string_view pictureFolder)
    : backend_(std::move(backend)),
      texts_(DialogTexts::Load()),
      hostWindow_(ReadHostWindow()),
      resources_(DialogResources::Load(pictureFolder, backend_->Metrics(), backend_->PicturesInModule())),
      progress_(*backend_, {texts_.progressTitle, texts_.progressWaitLabel, resources_.smallIcon, hostWindow_}) {}

void DialogUI::ShowAbout() {
  AboutDialog about(texts_, resources_, addresses_, *backend_);
  backend_->RunModalDialog(AboutDialogTemplate(), hostWindow_, about);
}

void DialogUI::ShowSettings(SettingsAccess& settings) {
  SettingsDialog dialog(texts_, resources_.smallIcon, settings);
  backend_->RunModalDialog(SettingsDialogTemplate(), hostWindow_, dialog);
}

std::u16string DialogUI::ChooseExportFile(std::u16string_view defaultName, std::u16string_view initialFolder) {
  const SaveDialogRequest request{hostWindow_,
                                  ExportFileFilters(texts_.daeFilesText, texts_.allFilesText),
                                  PrepareExportFileName(defaultName, initialFolder),
                                  std::u16string(initialFolder),
                                  texts_.exportTitle,
                                  kSaveOptionOverwritePrompt,
                                  std::u16string(kExportFileExtension)};
  const std::optional<std::u16string> chosen = backend_->ShowSaveDialog(request);
  return chosen ? CompleteChosenPath(*chosen) : std::u16string();
}

void DialogUI::EnableHostWindow(bool enable) { backend_->SetWindowEnabled(hostWindow_, enable); }

void DialogUI::ShowProgress() { progress_.Show(); }
void DialogUI::HideProgress() { progress_.Hide(); }
void DialogUI::SetProgressText(std::u16string_view text) { progress_.SetText(text); }
void DialogUI::ProgressBehindHost() { progress_.PlaceBehindHost(); }

int DialogUI::ShowMessage(std::u16string_view text, std::u16string_view caption, uint32_t flags) {
  const MessageHook hook(resources_.smallIcon ? &*resources_.smallIcon : nullptr);
  const int result = backend_->ShowMessageBox({hostWindow_, std::u16string(text), std::u16string(caption), flags}, hook);
  if (const auto records = platform::ReadEnvironmentVariable(kMessageRecordsVariable); records && !records->empty()) {
    AppendMessageRecord(*records, {platform::Utf8FromUtf16(caption), platform::Utf8FromUtf16(text), result});
  }
  return result;
}

void DialogUI::ShowTitledMessage(std::u16string_view title, std::u16string_view text, uint32_t flags) {
  ShowMessage(text, std::u16string(kTitledCaptionPrefix) + std::u16string(title), flags);
}

void DialogUI::ShowTitledMessage(UserMessage message) {
  const MessageDefinition& definition = DefinitionOf(message);
  ShowTitledMessage(ToolText(definition.titleKey), ToolText(definition.messageKey), definition.flags);
}

int DialogUI::ShowNamedMessage(UserMessage message, std::u16string_view argument) {
  const MessageDefinition& definition = DefinitionOf(message);
  return ShowMessage(FormatText(ToolText(definition.messageKey), argument),
                     FormatText(kNamedCaptionFormat, ToolText(definition.titleKey)), definition.flags);
}

void DialogUI::OpenWebAddress(std::u16string_view address) { backend_->OpenAddress(address); }

void DialogUI::ShowAlreadyOpen(std::u16string_view name) { ShowNamedMessage(UserMessage::AlreadyOpen, name); }

bool DialogUI::AskOldVersion(std::u16string_view minimumVersion) {
  return ShowNamedMessage(UserMessage::OldVersion, minimumVersion) == kResultYes;
}

bool DialogUI::AskNotRunning(std::u16string_view minimumVersion) {
  return ShowNamedMessage(UserMessage::NotRunning, minimumVersion) == kResultYes;
}

void DialogUI::ShowExportComplete(std::u16string_view path) { ShowNamedMessage(UserMessage::ExportComplete, path); }
void DialogUI::ShowExportFailed(std::u16string_view path) { ShowNamedMessage(UserMessage::ExportFailed, path); }

void DialogUI::ShowExportNotWritten(std::u16string_view path, std::u16string_view reason) {
  const std::u16string named = std::u16string(path) + u"\n" + FormatText(ToolText(u"dlg_msg_export_write_reason"), reason);
  ShowNamedMessage(UserMessage::ExportNotWritten, named);
}

const std::u16string& DialogUI::GetQuery() { return addresses_.Query(); }
const std::u16string& DialogUI::GetRootAddress() { return addresses_.RootAddress(); }
const std::u16string& DialogUI::GetSupportAddress() { return addresses_.SupportAddress(); }
const std::u16string& DialogUI::GetDownloadAddress() { return addresses_.DownloadAddress(); }
