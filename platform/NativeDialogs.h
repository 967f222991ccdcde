#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The system's own windows for the plug-in's user interface: dialogs built from the module's
// dialog templates, message boxes, the save dialog and the host's main window. Only the Windows
// build has them; elsewhere the user interface stays headless or on the terminal.
namespace platform::native {

using WindowHandle = intptr_t;  // 0 for none

struct ScreenMetrics {
  int dpi = 96;  // vertical logical pixels per inch
  int baseUnitX = 8;
  int baseUnitY = 16;
  int smallIconSize = 16;
};

struct WindowRect {
  int left = 0, top = 0, width = 0, height = 0;
};

// A picture the module carries as a resource, shown at width × height pixels; a bitmap of
// another size is drawn stretched in half-tone mode.
struct ModuleImage {
  int resourceId = 0;
  int width = 0;
  int height = 0;
};

struct NativeFont {
  std::u16string face;
  int height = 0;
  int weight = 400;
  bool underline = false;
  int outputPrecision = 0;
};

ScreenMetrics ReadScreenMetrics();
// Nothing when `window` is not a window.
std::optional<WindowRect> ReadWindowRect(WindowHandle window);
// Enabling shows the window again with the show state of its placement.
void EnableWindow(WindowHandle window, bool enabled);

// An open dialog made from one of the module's templates. Every call but Wake belongs on the
// thread that made it. Calls naming a control the dialog lacks do nothing.
class Dialog {
public:
  virtual ~Dialog() = default;

  virtual WindowHandle Handle() const = 0;
  virtual void SetCaption(std::u16string_view caption) = 0;
  virtual void SetItemText(int item, std::u16string_view text) = 0;
  virtual void SetChecked(int item, bool checked) = 0;
  virtual bool IsChecked(int item) const = 0;
  // A tooltip window owned by the dialog, subclassing the control.
  virtual void AttachTooltip(int item, std::u16string_view text) = 0;
  virtual void SetSmallIcon(const ModuleImage& icon) = 0;
  virtual void SetItemBitmap(int item, const ModuleImage& bitmap) = 0;
  // The font lives as long as the dialog.
  virtual void SetItemFont(int item, const NativeFont& font) = 0;
  // Text in this colour on a transparent background; the control's background is the menu colour.
  virtual void SetItemTextColour(int item, uint8_t red, uint8_t green, uint8_t blue) = 0;
  // One line, ended with an ellipsis where the text is wider than the control.
  virtual void SetItemEndEllipsis(int item) = 0;
  virtual void DisableCloseItem() = 0;
  virtual void AddProgressBar(const WindowRect& bounds, uint32_t style, int step) = 0;
  virtual void StepProgressBar() = 0;
  virtual void Show() = 0;
  virtual WindowRect Bounds() const = 0;
  virtual void MoveTo(int left, int top) = 0;
  virtual void PlaceBehind(WindowHandle window) = 0;
  // Ends a modal dialog with `result`; a modeless dialog goes with its object.
  virtual void Close(int result) = 0;
  // Handles the thread's window messages until `deadline` or until Wake is called; a Wake that
  // came first ends the wait at once.
  virtual void ProcessMessagesUntil(std::chrono::steady_clock::time_point deadline) = 0;
  // Safe from any thread.
  virtual void Wake() = 0;
};

struct DialogEvents {
  std::function<void(Dialog&)> opened;
  // A click on a button or notifying static, Enter (1) or Escape and the close box (2).
  std::function<void(Dialog&, int item)> command;
};

// Runs the module's dialog template `templateId` modally, owned by `owner`, until Close; the
// close result, or -1 when the dialog could not be made.
int RunModalDialog(int templateId, WindowHandle owner, const DialogEvents& events);
// The module's template `templateId` as a modeless dialog without owner, hidden, on the calling
// thread; null when it cannot be made.
std::unique_ptr<Dialog> CreateModelessDialog(int templateId);

struct MessageBoxActivation {
  bool passOn = true;
  std::optional<ModuleImage> smallIcon;  // given to the activated window
};

// A message box owned by `owner`; `onActivate` is asked, with the caption, about every window
// activated on this thread while the box is up. The pressed button's result.
int ShowMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t flags,
                   const std::function<MessageBoxActivation(std::u16string_view caption)>& onActivate);

struct SaveFileRequest {
  WindowHandle owner = 0;
  std::vector<std::pair<std::u16string, std::u16string>> filters;  // description, pattern
  std::u16string fileName;
  size_t bufferLength = 260;
  std::u16string initialFolder;
  std::u16string title;  // the system's own caption when empty
  uint32_t flags = 0;
  std::u16string defaultExtension;  // without the '.'; none when empty
};

// The confirmed path; nothing when cancelled or failed.
std::optional<std::u16string> ShowSaveFileDialog(const SaveFileRequest& request);

// The stand-in host's main window: a plain top-level window, shown.
WindowHandle CreateMainWindow(std::u16string_view title, int width, int height);
void DestroyMainWindow(WindowHandle window);
// Handles the calling thread's window messages until `deadline`.
void ProcessMessagesUntil(std::chrono::steady_clock::time_point deadline);
// Handles the calling thread's window messages until `window` has been closed.
void ProcessMessagesUntilClosed(WindowHandle window);

}  // namespace platform::native
