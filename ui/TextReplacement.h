#pragma once

#include <string_view>

#include "ui/UIBackend.h"

// Looked-up texts replace a dialog's template texts only when they are not empty, so that a
// missing key leaves the template's own text in place.
namespace ui {

void ReplaceCaption(DialogWindow& dialog, std::u16string_view caption);
void ReplaceItemText(DialogWindow& dialog, int item, std::u16string_view text);
// A tooltip goes only where there is a text for it and a real control (id 0 is none).
void AttachTooltipIfAny(DialogWindow& dialog, int item, std::u16string_view text);

}  // namespace ui
