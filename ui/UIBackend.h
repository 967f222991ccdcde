#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/DialogResources.h"
#include "ui/DialogTemplate.h"
#include "ui/DisplayMetrics.h"
#include "ui/ExportFileName.h"
#include "ui/MessageHook.h"

// What the dialogs' logic needs from a windowing system. The logic decides every text, flag,
// size and answer; a backend only shows and asks. Backends: headless (scripted answers, records
// everything), terminal, and on Windows the system's own windows (NativeBackend.h).
namespace ui {

using WindowHandle = intptr_t;  // the host's main window as the host gives it; 0 for none

// An open dialog built from a template. Calls on one dialog come from one thread: the main
// thread for modal dialogs, the progress thread for the progress window. Calls naming a control
// the dialog does not have do nothing.
class DialogWindow {
public:
  virtual ~DialogWindow() = default;

  virtual void SetCaption(std::u16string_view caption) = 0;
  virtual void SetItemText(int item, std::u16string_view text) = 0;
  virtual void SetChecked(int item, bool checked) = 0;
  virtual bool IsChecked(int item) const = 0;
  virtual void AttachTooltip(int item, std::u16string_view text) = 0;
  virtual void SetSmallIcon(const Picture& icon) = 0;
  virtual void SetItemPicture(int item, const Picture& picture) = 0;
  virtual void SetItemFont(int item, const FontDescription& font) = 0;
  // Text in `colour` on a transparent background over the menu colour.
  virtual void SetItemTextColour(int item, Colour colour) = 0;
  // Keeps the text on one line and ends it with an ellipsis where it is wider than the control,
  // rather than wrapping it below the control's bottom edge.
  virtual void SetItemEndEllipsis(int item) = 0;
  // Disables and greys the Close item of the window menu, so the user cannot close the window.
  virtual void DisableCloseItem() = 0;
  // A marquee progress bar child at `bounds` (pixels), stepping by `step` of 0–100.
  virtual void AddProgressBar(const Rect& bounds, uint32_t style, int step) = 0;
  virtual void StepProgressBar() = 0;
  virtual void Show() = 0;
  // The window's rectangle on the screen, in pixels.
  virtual Rect Bounds() const = 0;
  virtual void MoveTo(int left, int top) = 0;
  // Directly behind `window` in the window order, neither moved nor sized.
  virtual void PlaceBehind(WindowHandle window) = 0;
  // Ends a modal dialog with `result`; a modeless one is destroyed with its object instead.
  virtual void Close(int result) = 0;
  // Lets the window do its own work (drawing, input) on its thread until `deadline`, or until
  // Wake is called; a Wake that came first ends the wait at once.
  virtual void WaitForEvents(std::chrono::steady_clock::time_point deadline) = 0;
  // Safe from any thread.
  virtual void Wake() = 0;
};

// The logic of a modal dialog, called by the backend on the thread that runs it.
class DialogHandler {
public:
  virtual void OnOpen(DialogWindow& dialog) = 0;
  // A control sent a command: it was clicked (automatic check boxes have already toggled), or
  // the user pressed Enter (kCommandOk) or Escape or the close box (kCommandCancel).
  virtual void OnCommand(DialogWindow& dialog, int item) = 0;

protected:
  ~DialogHandler() = default;
};

struct MessageBoxRequest {
  WindowHandle owner = 0;
  std::u16string text;
  std::u16string caption;
  uint32_t flags = 0;
};

struct SaveDialogRequest {
  WindowHandle owner = 0;
  std::vector<FileFilter> filters;  // the first one is selected
  std::u16string fileName;          // offered name, fits kFileBufferLength
  std::u16string initialFolder;     // empty for none
  std::u16string title;
  uint32_t options = 0;
  // Added, after a '.', to a chosen file name that has no extension, before the dialog asks
  // whether to replace an existing file: the question must be about the file that is written.
  std::u16string defaultExtension;
};

inline constexpr uint32_t kSaveOptionOverwritePrompt = 0x2;

class UIBackend {
public:
  virtual ~UIBackend() = default;

  virtual DisplayMetrics Metrics() const = 0;
  // True where the module carries its pictures as resources rather than as files beside it.
  virtual bool PicturesInModule() const { return false; }
  // Nothing when the window is unknown.
  virtual std::optional<Rect> WindowBounds(WindowHandle window) const = 0;

  // Shows a box and waits for it to be closed; the pressed button's result (MessageBoxStyle.h).
  virtual int ShowMessageBox(const MessageBoxRequest& request, const MessageHook& hook) = 0;
  // Runs a modal dialog owned by `owner` until the handler closes it; the close result.
  virtual int RunModalDialog(const DialogTemplate& dialog, WindowHandle owner, DialogHandler& handler) = 0;
  // A modeless dialog without owner, not yet shown, bound to the calling thread; null when it
  // cannot be created. Destroying the object destroys the window.
  virtual std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog) = 0;
  // The full path the user confirmed; nothing when cancelled or failed.
  virtual std::optional<std::u16string> ShowSaveDialog(const SaveDialogRequest& request) = 0;
  // Enabling shows the window again in its last placement.
  virtual void SetWindowEnabled(WindowHandle window, bool enabled) = 0;
  // Opens a web address with the system's default action, shown normally.
  virtual void OpenAddress(std::u16string_view address) = 0;
};

}  // namespace ui
