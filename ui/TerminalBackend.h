#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "ui/DialogModel.h"
#include "ui/UIBackend.h"

namespace ui {

// Works the user interface on a terminal: boxes and dialogs are printed and answered by typed
// lines, the progress window is one live line, and web addresses open with the desktop's
// handler or are printed. The end of the input answers as the close box does, so a run without a
// terminal never waits.
class TerminalBackend : public UIBackend {
public:
  // Boxes and dialogs go to `output`, the progress line to `progressOutput`. All three streams
  // must outlive the backend; `progressOutput` is written from the progress thread.
  TerminalBackend(std::istream& input, std::ostream& output, std::ostream& progressOutput)
      : input_(input), output_(output), progressOutput_(progressOutput) {}

  DisplayMetrics Metrics() const override { return {}; }
  // A terminal has no window geometry.
  std::optional<Rect> WindowBounds(WindowHandle) const override { return std::nullopt; }
  int ShowMessageBox(const MessageBoxRequest& request, const MessageHook& hook) override;
  int RunModalDialog(const DialogTemplate& dialog, WindowHandle owner, DialogHandler& handler) override;
  std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog) override;
  std::optional<std::u16string> ShowSaveDialog(const SaveDialogRequest& request) override;
  // The terminal is the host's window: nothing to lock.
  void SetWindowEnabled(WindowHandle, bool) override {}
  void OpenAddress(std::u16string_view address) override;

private:
  // The next typed line, trimmed; nothing at the end of the input.
  std::optional<std::string> Ask(const std::string& prompt);
  std::optional<int> AskButton(uint32_t flags);
  void PrintDialog(const DialogState& dialog);
  std::optional<int> AskDialogCommand(const DialogModel& dialog);
  // False when the user does not want `path` replaced (or the input ended).
  bool ConfirmReplace(const std::u16string& path);

  std::istream& input_;
  std::ostream& output_;
  std::ostream& progressOutput_;
};

}  // namespace ui
