#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ui/DialogResources.h"
#include "ui/UIBackend.h"

namespace ui {

// The export's progress window (103): a modeless window on a thread of its own, with a marquee
// bar that steps every 100 ms and a line of text the caller updates. The calling thread talks to
// it only through messages; each call returns once its effect is certain, so no caller ever
// relies on timing.
class ProgressWindow {
public:
  struct Appearance {
    std::u16string title;      // replaces the caption when not empty
    std::u16string waitLabel;  // replaces the "Please wait..." label when not empty
    std::optional<Picture> smallIcon;
    WindowHandle host = 0;     // centred over it; placed behind it on request
  };

  // `backend` must outlive the window.
  ProgressWindow(UIBackend& backend, Appearance appearance);
  // Closes the window and ends its thread.
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Shows a new window, closing one that is up first; returns when it is on screen (or could not
  // be created).
  void Show();
  // Closes the window; returns when it is gone and its thread has ended. Nothing when none is up.
  void Hide();
  // Shows `text` in the window's step line. The text is copied, so the caller need not keep it;
  // it appears when the window handles the message. Nothing when no window is up.
  void SetText(std::u16string_view text);
  // Puts the window directly behind the host window; returns when done.
  void PlaceBehindHost();

private:
  enum class MessageKind { SetText, PlaceBehindHost, Close };
  struct Message {
    MessageKind kind;
    std::u16string text;
  };
  enum class WindowState { None, Opening, Shown };

  // Queues a message for a shown window; its number, or 0 when no window is up.
  uint64_t Post(Message message);
  // Posts and waits until the window has handled it or is gone.
  void Send(Message message);
  // The oldest queued message; nothing when none waits.
  std::optional<Message> TakeMessage();

  void Run();
  std::unique_ptr<DialogWindow> Open();
  // Handles one message; false once the window is closed.
  bool Handle(DialogWindow& window, const Message& message);

  UIBackend& backend_;
  const Appearance appearance_;

  std::mutex mutex_;
  std::condition_variable changed_;
  WindowState state_ = WindowState::None;
  std::deque<Message> queue_;
  DialogWindow* window_ = nullptr;  // the shown window, woken when a message is queued
  uint64_t posted_ = 0;   // messages posted to the current window
  uint64_t handled_ = 0;  // of these, the ones handled
  std::thread thread_;
};

}  // namespace ui
