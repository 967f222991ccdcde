#pragma once

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/HeadlessScript.h"
#include "ui/UIBackend.h"

namespace ui {

struct HeadlessOptions {
  DisplayMetrics metrics;
  Rect hostBounds{0, 0, 1280, 800};  // where the host window is, for windows centred over it
};

struct MessageBoxRecord {
  MessageBoxRequest request;
  bool gotSmallIcon = false;
  int result = 0;
};

struct DialogRecord {
  WindowHandle owner = 0;
  DialogState opened;         // as the user first saw it
  std::vector<int> clicks;    // items clicked, and Enter or Escape, in order
  DialogState closed;
};

struct SaveDialogRecord {
  SaveDialogRequest request;
  std::optional<std::u16string> result;
};

// Shows nothing and asks no one: answers come from a script, and every box, dialog, save
// dialog, progress window, web address and host window change is recorded and, when a log is
// given, written to it as one "ui ..." line each. Safe to read from any thread.
class HeadlessBackend : public UIBackend {
public:
  // `log` must outlive the backend.
  explicit HeadlessBackend(HeadlessScript script, HeadlessOptions options = {}, std::ostream* log = nullptr);

  std::vector<MessageBoxRecord> MessageBoxes() const;
  std::vector<DialogRecord> Dialogs() const;
  std::vector<SaveDialogRecord> SaveDialogs() const;
  // Every progress window in the order shown, as it is now or was when destroyed.
  std::vector<DialogState> ProgressWindows() const;
  std::vector<std::u16string> OpenedAddresses() const;
  std::vector<bool> HostWindowChanges() const;  // true for enabled

  DisplayMetrics Metrics() const override { return options_.metrics; }
  std::optional<Rect> WindowBounds(WindowHandle window) const override;
  int ShowMessageBox(const MessageBoxRequest& request, const MessageHook& hook) override;
  int RunModalDialog(const DialogTemplate& dialog, WindowHandle owner, DialogHandler& handler) override;
  std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog) override;
  std::optional<std::u16string> ShowSaveDialog(const SaveDialogRequest& request) override;
  void SetWindowEnabled(WindowHandle window, bool enabled) override;
  void OpenAddress(std::u16string_view address) override;

private:
  class RecordedDialog;
  struct ProgressRecord {
    const RecordedDialog* live;  // null once destroyed
    DialogState last;
  };

  int NextMessageAnswer(uint32_t flags);
  std::vector<int> NextDialogCommands();
  std::optional<std::u16string> NextSavePath(const SaveDialogRequest& request);
  void Log(const std::string& line);
  void ProgressWindowDestroyed(const RecordedDialog& window);

  const HeadlessOptions options_;
  std::ostream* const log_;
  mutable std::mutex mutex_;  // guards everything below
  HeadlessScript script_;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::vector<DialogRecord> dialogs_;
  std::vector<SaveDialogRecord> saveDialogs_;
  std::vector<ProgressRecord> progressWindows_;
  std::vector<std::u16string> openedAddresses_;
  std::vector<bool> hostWindowChanges_;
  std::mutex logMutex_;
};

}  // namespace ui
