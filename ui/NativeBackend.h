#pragma once

#include "ui/UIBackend.h"

namespace ui {

// The system's own windows (Windows only): the module's dialog templates as real dialogs,
// message boxes with the activation hook, the system's save dialog, and the shell for web
// addresses. Pictures come from the module's resources.
class NativeBackend : public UIBackend {
public:
  DisplayMetrics Metrics() const override;
  bool PicturesInModule() const override { return true; }
  std::optional<Rect> WindowBounds(WindowHandle window) const override;
  int ShowMessageBox(const MessageBoxRequest& request, const MessageHook& hook) override;
  int RunModalDialog(const DialogTemplate& dialog, WindowHandle owner, DialogHandler& handler) override;
  std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog) override;
  std::optional<std::u16string> ShowSaveDialog(const SaveDialogRequest& request) override;
  void SetWindowEnabled(WindowHandle window, bool enabled) override;
  void OpenAddress(std::u16string_view address) override;
};

}  // namespace ui
