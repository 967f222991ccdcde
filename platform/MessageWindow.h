#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Top-level message windows between processes: each window is a datagram socket in the per-user
// runtime directory (TIDELINK_RUNTIME_DIR, else $XDG_RUNTIME_DIR/tidelink, else a folder in /tmp)
// with an attribute file beside it, both mode 0600. The directory is used only when it belongs to
// the user and has mode 0700; otherwise no window is opened or listed there, and the debug output
// says why. A window of a dead process is not a window.
//
// Isolation: TIDELINK_RUNTIME_DIR gives a process (and the programs it starts) windows of its
// own: only windows made under the same value are listed, found or posted to, so that tests never
// see each other's renderers or the user's. Every backend honours it; a Win32 backend keeps real
// top-level windows and appends a suffix made from the value to each window class it registers,
// enumerating only windows whose class carries the suffix.
namespace platform {

using WindowHandle = uint64_t;  // 0 is no window

// The request to close a window (WM_CLOSE), as Windows numbers it.
inline constexpr uint32_t kCloseMessage = 0x0010;

struct WindowMessage {
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
};

struct WindowAttributes {
  uint32_t processId = 0;
  WindowHandle owner = 0;
  bool visible = false;
  std::u16string className;
  std::u16string title;
};

class MessageWindow {
public:
  MessageWindow();
  ~MessageWindow();
  MessageWindow(MessageWindow&&) noexcept;
  MessageWindow& operator=(MessageWindow&&) noexcept;

  // False when the runtime directory or the socket cannot be set up.
  static bool Create(const WindowAttributes& attributes, MessageWindow& window);
  WindowHandle handle() const;
  // Waits for the next posted message; nothing when the timeout passes first.
  std::optional<WindowMessage> Receive(std::chrono::milliseconds timeout);
  void Destroy();

private:
  struct State;
  std::unique_ptr<State> state_;
};

// Live top-level windows in creation order.
std::vector<WindowHandle> EnumerateWindows();
std::optional<WindowAttributes> GetWindowAttributes(WindowHandle window);
bool IsWindow(WindowHandle window);
// Never blocks; false when the window is gone or its queue is full.
bool PostWindowMessage(WindowHandle window, const WindowMessage& message);

}  // namespace platform
