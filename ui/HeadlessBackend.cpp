#include "ui/HeadlessBackend.h"

#include <algorithm>

#include "platform/TextConversion.h"
#include "ui/MessageBoxStyle.h"

namespace ui {
namespace {

// A text as one quoted log token: quotes, backslashes and line breaks escaped.
std::string Quoted(std::u16string_view text) {
  std::string quoted = "\"";
  for (const char character : platform::Utf8FromUtf16(text)) {
    if (character == '"' || character == '\\') {
      quoted += '\\';
      quoted += character;
    } else if (character == '\n') {
      quoted += "\\n";
    } else {
      quoted += character;
    }
  }
  return quoted + "\"";
}

std::string Hex(uint32_t value) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + digits;
}

std::string ResultName(int result) {
  const std::string_view name = ButtonName(result);
  return name.empty() ? std::to_string(result) : std::string(name);
}

std::string ItemLine(const DialogItemState& item) {
  std::string line = "ui   item " + std::to_string(item.control.id) + " " + Quoted(item.text);
  if (IsAutoCheckBox(item.control)) line += item.checked ? " checked" : " unchecked";
  if (!item.tooltip.empty()) line += " tooltip " + Quoted(item.tooltip);
  if (item.picture) line += " picture " + Quoted(item.picture->path);
  return line;
}

}  // namespace

// The progress window as the headless backend keeps it: logs what the user would see, and hands
// its last state to the backend when destroyed.
class HeadlessBackend::RecordedDialog : public DialogModel {
public:
  RecordedDialog(HeadlessBackend& backend, const DialogTemplate& dialog)
      : DialogModel(dialog, backend.options_.metrics), backend_(backend) {}
  ~RecordedDialog() override { backend_.ProgressWindowDestroyed(*this); }

  void Show() override {
    DialogModel::Show();
    const DialogState state = Snapshot();
    const DialogItemState* label = state.Item(kProgressWaitLabel);
    backend_.Log("ui progress " + Quoted(state.caption) + " " + Quoted(label ? label->text : u""));
  }
  void SetItemText(int item, std::u16string_view text) override {
    DialogModel::SetItemText(item, text);
    backend_.Log("ui progress-text " + Quoted(text));
  }
  void PlaceBehind(WindowHandle window) override {
    DialogModel::PlaceBehind(window);
    backend_.Log("ui progress behind-host");
  }

private:
  HeadlessBackend& backend_;
};

HeadlessBackend::HeadlessBackend(HeadlessScript script, HeadlessOptions options, std::ostream* log)
    : options_(options), log_(log), script_(std::move(script)) {}

std::vector<MessageBoxRecord> HeadlessBackend::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

std::vector<DialogRecord> HeadlessBackend::Dialogs() const {
  std::lock_guard lock(mutex_);
  return dialogs_;
}

std::vector<SaveDialogRecord> HeadlessBackend::SaveDialogs() const {
  std::lock_guard lock(mutex_);
  return saveDialogs_;
}

std::vector<DialogState> HeadlessBackend::ProgressWindows() const {
  std::lock_guard lock(mutex_);
  std::vector<DialogState> windows;
  for (const ProgressRecord& record : progressWindows_) {
    windows.push_back(record.live ? record.live->Snapshot() : record.last);
  }
  return windows;
}

std::vector<std::u16string> HeadlessBackend::OpenedAddresses() const {
  std::lock_guard lock(mutex_);
  return openedAddresses_;
}

std::vector<bool> HeadlessBackend::HostWindowChanges() const {
  std::lock_guard lock(mutex_);
  return hostWindowChanges_;
}

std::optional<Rect> HeadlessBackend::WindowBounds(WindowHandle window) const {
  if (window == 0) return std::nullopt;
  return options_.hostBounds;
}

int HeadlessBackend::ShowMessageBox(const MessageBoxRequest& request, const MessageHook& hook) {
  const HookAnswer answer = hook.OnWindowEvent(WindowEvent::Activate, request.caption);
  MessageBoxRecord record{request, answer.smallIcon != nullptr, NextMessageAnswer(request.flags)};
  Log("ui message-box " + Quoted(request.caption) + " " + Quoted(request.text) + " flags " + Hex(request.flags) +
      (record.gotSmallIcon ? " small-icon" : "") + " -> " + ResultName(record.result));
  std::lock_guard lock(mutex_);
  messageBoxes_.push_back(std::move(record));
  return messageBoxes_.back().result;
}

int HeadlessBackend::RunModalDialog(const DialogTemplate& dialog, WindowHandle owner, DialogHandler& handler) {
  DialogModel model(dialog, options_.metrics);
  handler.OnOpen(model);
  DialogRecord record{owner, model.Snapshot(), {}, {}};
  Log("ui dialog " + std::to_string(dialog.id) + " " + Quoted(record.opened.caption));
  for (const DialogItemState& item : record.opened.items) Log(ItemLine(item));

  std::vector<int> scripted = NextDialogCommands();
  scripted.push_back(model.DefaultCommand());  // Enter, once the script has run out
  size_t next = 0;
  const int result = model.RunCommands(handler, [&]() -> std::optional<int> {
    if (next == scripted.size()) return std::nullopt;
    const int item = scripted[next++];
    record.clicks.push_back(item);
    Log("ui   click " + std::to_string(item));
    return item;
  });
  record.closed = model.Snapshot();
  Log("ui dialog " + std::to_string(dialog.id) + " closed -> " + ResultName(result));
  std::lock_guard lock(mutex_);
  dialogs_.push_back(std::move(record));
  return result;
}

std::unique_ptr<DialogWindow> HeadlessBackend::CreateModelessDialog(const DialogTemplate& dialog) {
  auto window = std::make_unique<RecordedDialog>(*this, dialog);
  std::lock_guard lock(mutex_);
  progressWindows_.push_back({window.get(), {}});
  return window;
}

void HeadlessBackend::ProgressWindowDestroyed(const RecordedDialog& window) {
  const DialogState last = window.Snapshot();
  const int steps = last.progressBar ? last.progressBar->steps : 0;
  Log("ui progress closed after " + std::to_string(steps) + " steps");
  std::lock_guard lock(mutex_);
  for (ProgressRecord& record : progressWindows_) {
    if (record.live == &window) record = {nullptr, last};
  }
}

std::optional<std::u16string> HeadlessBackend::ShowSaveDialog(const SaveDialogRequest& request) {
  const std::optional<std::u16string> result = NextSavePath(request);
  Log("ui save-dialog " + Quoted(request.title) + " offered " + Quoted(request.fileName) + " in " +
      Quoted(request.initialFolder) + " -> " + (result ? Quoted(*result) : "cancelled"));
  std::lock_guard lock(mutex_);
  saveDialogs_.push_back({request, result});
  return result;
}

void HeadlessBackend::SetWindowEnabled(WindowHandle, bool enabled) {
  Log(enabled ? "ui host-window enabled" : "ui host-window disabled");
  std::lock_guard lock(mutex_);
  hostWindowChanges_.push_back(enabled);
}

void HeadlessBackend::OpenAddress(std::u16string_view address) {
  Log("ui open-address " + Quoted(address));
  std::lock_guard lock(mutex_);
  openedAddresses_.emplace_back(address);
}

int HeadlessBackend::NextMessageAnswer(uint32_t flags) {
  std::lock_guard lock(mutex_);
  if (script_.messageAnswers.empty()) return DefaultResultOf(flags);
  const int answer = script_.messageAnswers.front();
  script_.messageAnswers.pop_front();
  if (answer == kCloseBoxAnswer) return CloseResultOf(flags);
  // A box can only give the result of one of its buttons; a scripted answer it lacks is Enter.
  const std::vector<int> buttons = ButtonsOf(flags);
  return std::find(buttons.begin(), buttons.end(), answer) != buttons.end() ? answer : DefaultResultOf(flags);
}

std::vector<int> HeadlessBackend::NextDialogCommands() {
  std::lock_guard lock(mutex_);
  if (script_.dialogCommands.empty()) return {};
  std::vector<int> commands = std::move(script_.dialogCommands.front());
  script_.dialogCommands.pop_front();
  return commands;
}

std::optional<std::u16string> HeadlessBackend::NextSavePath(const SaveDialogRequest& request) {
  SaveAnswer answer;
  {
    std::lock_guard lock(mutex_);
    if (!script_.saveAnswers.empty()) {
      answer = std::move(script_.saveAnswers.front());
      script_.saveAnswers.pop_front();
    }
  }
  switch (answer.kind) {
    case SaveAnswer::Kind::Path:
      return answer.path;
    case SaveAnswer::Kind::Cancel:
      return std::nullopt;
    case SaveAnswer::Kind::AcceptOffered:
      break;
  }
  return OfferedPath(request.initialFolder, request.fileName);
}

void HeadlessBackend::Log(const std::string& line) {
  if (!log_) return;
  std::lock_guard lock(logMutex_);
  // One write per line, so that a line never shares the terminal with another thread's output.
  *log_ << (line + '\n') << std::flush;
}

}  // namespace ui
