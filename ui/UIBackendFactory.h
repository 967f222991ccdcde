#pragma once

#include <memory>

#include "ui/UIBackend.h"

namespace ui {

// The backend the environment asks for:
//   TIDELINK_UI=terminal   boxes and dialogs on standard output, answered on standard input;
//                          the progress line on standard error
//   TIDELINK_UI=windows    (Windows only, and the default there) the system's own dialogs and
//                          message boxes
//   TIDELINK_UI=headless   (also when unset, elsewhere) answers from the script in TIDELINK_UI_SCRIPT
//                          (HeadlessScript.h), every event printed as a "ui ..." line on
//                          standard output
// An unknown value, and every script answer that is not understood, is reported on the debug
// output; the run then goes on headless with the answers that were understood.
std::unique_ptr<UIBackend> CreateUIBackend();

}  // namespace ui
