#pragma once

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
  // Lets the window do its own work (drawing, input) with what has queued up; returns at once.
  void ProcessMessages();

private:
  intptr_t handle_ = 0;
};
