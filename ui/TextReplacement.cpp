#include "ui/TextReplacement.h"

namespace ui {

void ReplaceCaption(DialogWindow& dialog, std::u16string_view caption) {
  if (!caption.empty()) dialog.SetCaption(caption);
}

void ReplaceItemText(DialogWindow& dialog, int item, std::u16string_view text) {
  if (!text.empty()) dialog.SetItemText(item, text);
}

void AttachTooltipIfAny(DialogWindow& dialog, int item, std::u16string_view text) {
  if (item != 0 && !text.empty()) dialog.AttachTooltip(item, text);
}

}  // namespace ui
