#include "ui/TextFormat.h"

namespace ui {

std::u16string FormatText(std::u16string_view format, std::u16string_view argument) {
  std::u16string text;
  text.reserve(format.size() + argument.size());
  bool argumentUsed = false;
  for (size_t index = 0; index < format.size(); ++index) {
    const char16_t unit = format[index];
    const char16_t next = index + 1 < format.size() ? format[index + 1] : u'\0';
    if (unit == u'%' && next == u'%') {
      text += u'%';
      ++index;
    } else if (unit == u'%' && next == u's' && !argumentUsed) {
      text += argument;
      argumentUsed = true;
      ++index;
    } else {
      text += unit;
    }
  }
  return text;
}

}  // namespace ui
