#pragma once

#include <chrono>
#include <cstdint>

// The application's main window, which the plug-in's dialogs are owned by, centred over and which
// an export disables. Only where the plug-in shows the system's own windows (Windows) is there a
// real one; elsewhere the host has none and reports a stand-in handle.
class HostMainWindow {
public:
  // Opens the window when `real` and the system has windows.
  explicit HostMainWindow(bool real);
  ~HostMainWindow();
  HostMainWindow(const HostMainWindow&) = delete;
  HostMainWindow& operator=(const HostMainWindow&) = delete;

  // The window's handle; 0 when there is none.
  intptr_t handle() const { return handle_; }
  // Waits until `deadline`, the window doing its own work (drawing, input, messages sent to it by
  // the plug-in's other threads) meanwhile, as an application's idle main thread does.
  void WaitUntil(std::chrono::steady_clock::time_point deadline);
  // Keeps the window open, as the application it plays stays open, until the user closes it;
  // returns at once when there is no window.
  void WaitUntilClosed();

private:
  intptr_t handle_ = 0;
};
