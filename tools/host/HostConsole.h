#pragma once

#include <string>
#include <string_view>

// Everything the stand-in host shows a person goes through here: one complete line at a time,
// from any thread.
namespace HostConsole {

void PrintLine(std::string_view line);
void PrintLine(std::u16string_view line);

}  // namespace HostConsole
