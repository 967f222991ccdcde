#pragma once

#include <string_view>

namespace platform {

// Stand-in for the debugger output: writes `text` as it is, in one write, to standard error or,
// when TIDELINK_DEBUG_LOG names a file, appends it there. On Windows `text` goes to the debugger
// itself, and to that file as well when it is named. Safe from any thread.
void OutputDebugText(std::u16string_view text);

}  // namespace platform
