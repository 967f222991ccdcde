#include "ui/TerminalBackend.h"

#include <charconv>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/TextConversion.h"
#include "platform/WebLink.h"
#include "ui/MessageBoxStyle.h"

namespace ui {
namespace {

constexpr size_t kNumberWidth = 6;

std::string Utf8(std::u16string_view text) { return platform::Utf8FromUtf16(text); }

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<int> ParseNumber(const std::string& text) {
  int number = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// A button chosen by its name or the name's first letter.
std::optional<int> MatchButton(const std::string& answer, const std::vector<int>& buttons) {
  for (const int button : buttons) {
    const std::string_view name = ButtonName(button);
    if (answer == name || (answer.size() == 1 && answer[0] == name[0])) return button;
  }
  return std::nullopt;
}

std::string ButtonChoices(uint32_t flags) {
  std::string choices;
  for (const int button : ButtonsOf(flags)) {
    if (!choices.empty()) choices += "/";
    choices += ButtonName(button);
  }
  return choices;
}

// Appending rather than prefixing a literal keeps GCC 12 from a false overlap warning.
std::string Enclosed(std::string_view opening, std::u16string_view text, std::string_view closing) {
  std::string enclosed(opening);
  enclosed += Utf8(text);
  enclosed += closing;
  return enclosed;
}

std::string ItemText(const DialogItemState& item) {
  if (IsAutoCheckBox(item.control)) return Enclosed(item.checked ? "[x] " : "[ ] ", item.text, "");
  if (IsPicture(item.control)) return "(picture)";
  if (item.control.className == kButtonClass) return Enclosed("<", item.text, ">");
  return Utf8(item.text);
}

// The progress window as one line that redraws itself in place: a marquee marker and the
// current text.
class ProgressLine : public DialogModel {
public:
  ProgressLine(const DialogTemplate& dialog, std::ostream& output) : DialogModel(dialog, {}), output_(output) {}
  ~ProgressLine() override { output_ << '\r' << std::string(drawnLength_, ' ') << '\r' << std::flush; }

  void Show() override {
    DialogModel::Show();
    Draw();
  }
  void SetItemText(int item, std::u16string_view text) override {
    DialogModel::SetItemText(item, text);
    Draw();
  }
  void StepProgressBar() override {
    DialogModel::StepProgressBar();
    Draw();
  }

private:
  static constexpr int kMarqueeCells = 4;

  void Draw() {
    const DialogState state = Snapshot();
    if (!state.visible) return;
    std::string marquee(kMarqueeCells, ' ');
    if (state.progressBar) marquee[state.progressBar->steps % kMarqueeCells] = '=';
    const DialogItemState* step = state.Item(kProgressStepText);
    const DialogItemState* wait = state.Item(kProgressWaitLabel);
    const std::u16string& text = step && !step->text.empty() ? step->text : wait ? wait->text : state.caption;
    std::string line = "[" + marquee + "] " + Utf8(text);
    const size_t length = line.size();
    if (length < drawnLength_) line.append(drawnLength_ - length, ' ');
    output_ << '\r' << line << std::flush;
    drawnLength_ = length;
  }

  std::ostream& output_;
  size_t drawnLength_ = 0;
};

}  // namespace

std::optional<std::string> TerminalBackend::Ask(const std::string& prompt) {
  output_ << prompt << std::flush;
  std::string line;
  if (!std::getline(input_, line)) {
    output_ << '\n';
    return std::nullopt;
  }
  return Trim(line);
}

int TerminalBackend::ShowMessageBox(const MessageBoxRequest& request, const MessageHook&) {
  output_ << "\n== " << Utf8(request.caption) << " ==\n" << Utf8(request.text) << '\n';
  if (ButtonsOf(request.flags).size() == 1) {
    output_ << std::flush;
    return DefaultResultOf(request.flags);
  }
  const std::optional<int> button = AskButton(request.flags);
  return button ? *button : CloseResultOf(request.flags);
}

std::optional<int> TerminalBackend::AskButton(uint32_t flags) {
  std::string prompt = "(";
  prompt += ButtonChoices(flags);
  prompt += ", Enter for ";
  prompt += ButtonName(DefaultResultOf(flags));
  prompt += ") ";
  for (;;) {
    const std::optional<std::string> answer = Ask(prompt);
    if (!answer) return std::nullopt;
    if (answer->empty()) return DefaultResultOf(flags);
    if (const auto button = MatchButton(*answer, ButtonsOf(flags))) return button;
  }
}

int TerminalBackend::RunModalDialog(const DialogTemplate& dialog, WindowHandle, DialogHandler& handler) {
  DialogModel model(dialog, Metrics());
  handler.OnOpen(model);
  return model.RunCommands(handler, [&] { return AskDialogCommand(model); });
}

void TerminalBackend::PrintDialog(const DialogState& dialog) {
  output_ << "\n-- " << Utf8(dialog.caption) << " --\n";
  for (const DialogItemState& item : dialog.items) {
    const bool clickable = SendsCommand(item.control);
    const std::string text = ItemText(item);
    if (text.empty() && !clickable) continue;
    std::string number = clickable ? std::to_string(item.control.id) : "";
    if (number.size() < kNumberWidth) number.insert(0, kNumberWidth - number.size(), ' ');
    output_ << number << "  " << text << '\n';
  }
}

std::optional<int> TerminalBackend::AskDialogCommand(const DialogModel& dialog) {
  const DialogState state = dialog.Snapshot();
  PrintDialog(state);
  const DialogItemState* enter = state.Item(dialog.DefaultCommand());
  const std::string prompt = "Type a number to click it, Enter for " + (enter ? Utf8(enter->text) : "OK") +
                             ", q to close: ";
  for (;;) {
    const std::optional<std::string> answer = Ask(prompt);
    if (!answer) return std::nullopt;
    if (answer->empty()) return dialog.DefaultCommand();
    if (*answer == "q") return kCommandCancel;
    if (const auto item = ParseNumber(*answer)) return item;
  }
}

std::unique_ptr<DialogWindow> TerminalBackend::CreateModelessDialog(const DialogTemplate& dialog) {
  return std::make_unique<ProgressLine>(dialog, progressOutput_);
}

std::optional<std::u16string> TerminalBackend::ShowSaveDialog(const SaveDialogRequest& request) {
  output_ << "\n-- " << Utf8(request.title) << " --\n";
  for (const FileFilter& filter : request.filters) {
    output_ << "  " << Utf8(filter.description) << " " << Utf8(filter.pattern) << '\n';
  }
  const std::u16string offered = OfferedPath(request.initialFolder, request.fileName);
  for (;;) {
    const std::optional<std::string> answer = Ask("Save as [" + Utf8(offered) + "], end of input cancels: ");
    if (!answer) return std::nullopt;
    std::u16string path = answer->empty() ? offered : platform::Utf16FromUtf8(*answer);
    if (!request.defaultExtension.empty() && platform::FileNameOf(path).find(u'.') == std::u16string_view::npos) {
      path += u'.';
      path += request.defaultExtension;
    }
    const bool mayWrite = !(request.options & kSaveOptionOverwritePrompt) || !platform::QueryFileAttributes(path) ||
                          ConfirmReplace(path);
    if (mayWrite) return path;
  }
}

bool TerminalBackend::ConfirmReplace(const std::u16string& path) {
  output_ << Utf8(path) << " already exists. Replace it?\n";
  return AskButton(kBoxYesNo | kBoxIconQuestion | kBoxDefaultButton2) == kResultYes;
}

void TerminalBackend::OpenAddress(std::u16string_view address) {
  if (!platform::OpenWebAddress(address)) output_ << "Open this address in your web browser: " << Utf8(address) << '\n';
}

}  // namespace ui
