#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a command line as Windows does: spaces and tabs separate arguments outside quotes, an
// odd backslash before a quote makes it literal, and "" inside quotes is one quote.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// Starts `executable` with the arguments of `commandLine` (the first one is the program's own
// name), in `currentDirectory` (the caller's when empty). The child is not waited for and leaves
// no zombie. False when it could not be started.
bool CreateProcess(std::u16string_view executable, std::u16string_view commandLine,
                   std::u16string_view currentDirectory);

}  // namespace platform
