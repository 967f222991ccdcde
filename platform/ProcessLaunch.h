#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Show states of a started program's first window, as Windows names them.
inline constexpr int32_t kShowNormal = 1;     // SW_SHOWNORMAL
inline constexpr int32_t kShowMaximized = 3;  // SW_SHOWMAXIMIZED

// Splits a command line as the Windows C runtime does. The program name comes first and knows no
// escapes: quotes only group, and it ends at a space or tab outside them. Then spaces and tabs
// separate arguments outside quotes, backslashes double up only before a quote (an odd one makes
// that quote literal), and "" inside quotes is one quote.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

// One argument in quotes such that SplitCommandLine gives it back unchanged (not for the program
// name, which has no escapes).
std::u16string QuoteArgument(std::u16string_view argument);

// Starts `executable` with the arguments of `commandLine` (the first one is the program's own
// name), in `currentDirectory` (the caller's when empty), with the caller's environment. The
// child gets no descriptor of the caller: standard input, output and error are the null device,
// as for a program started without a console. `showState` reaches it as TIDELINK_SHOW_STATE,
// this platform's startup information. The child is not waited for and leaves no zombie. False
// when it could not be started.
bool LaunchProcess(std::u16string_view executable, std::u16string_view commandLine,
                   std::u16string_view currentDirectory, int32_t showState);

}  // namespace platform
