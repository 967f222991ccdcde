#pragma once

#include <string>
#include <string_view>

namespace ui {

// Fills a text that takes one "%s" placeholder, such as a message text from the string table.
// The first "%s" becomes `argument` exactly as it is; "%%" becomes "%"; anything else, including
// a second "%s" or another conversion a translated text may carry by mistake, stays as written.
// Never reads more than the one argument, whatever the format holds.
std::u16string FormatText(std::u16string_view format, std::u16string_view argument);

}  // namespace ui
