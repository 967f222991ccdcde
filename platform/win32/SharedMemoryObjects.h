#pragma once

#include <string>
#include <string_view>

// How the Windows backend names its kernel objects, for this backend's own tests.
namespace platform::win32 {

// The mapping's name in the session's namespace: `name` itself when the system takes it as it is,
// which is what a renderer that opens the name directly expects. A name with a backslash (allowed
// only after a namespace prefix) is escaped behind a prefix of its own; an overlong one is named
// by a hash.
std::u16string SharedMemoryObjectName(std::u16string_view name);

// The small mapping beside it through which the creator tells readers who it is.
std::u16string SharedMemoryCreatorName(std::u16string_view name);

}  // namespace platform::win32
