#pragma once

#include <string_view>

namespace platform {

// Stand-in for the shell's default action on a web address: starts `xdg-open` from PATH with the
// address as its only argument (never through a shell) and does not wait for it. False when there
// is no `xdg-open` or it could not be started, so that the caller can show the address instead.
// On Windows the shell itself opens it (the user's browser).
bool OpenWebAddress(std::u16string_view address);

}  // namespace platform
