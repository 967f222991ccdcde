#pragma once

#include <string_view>

#include "ui/DialogResources.h"

namespace ui {

// Window events a backend reports while a message box is up.
enum class WindowEvent { Activate, Other };

struct HookAnswer {
  bool passOn = true;                  // hand the event on to whatever else watches it
  const Picture* smallIcon = nullptr;  // give the activated window this small icon
};

// Gives the plug-in's message boxes its small icon. The backend asks it about every window event
// on the box's thread while the box is up, the box's own activation included.
class MessageHook {
public:
  // `smallIcon` may be null (not loaded); then every event is passed on untouched.
  explicit MessageHook(const Picture* smallIcon) : smallIcon_(smallIcon) {}

  // An activated window whose caption holds "Ombrel TideLink" (within the first 255 units, all
  // that is read of a caption) gets the icon; activations are then not passed on.
  HookAnswer OnWindowEvent(WindowEvent event, std::u16string_view caption) const;

private:
  const Picture* smallIcon_;
};

}  // namespace ui
