#pragma once

#include <string_view>

namespace platform {

// Starts `executable` with `commandLine` split as Windows splits a command line (quotes,
// backslashes before quotes), in `currentDirectory`. The child is not waited for and leaves no
// zombie. False when it could not be started.
bool CreateProcess(std::u16string_view executable, std::u16string_view commandLine,
                   std::u16string_view currentDirectory);

}  // namespace platform
