#pragma once

#include <string>

namespace platform {

// Folder of the shared library or program that holds this code, where the module's own pictures
// ship; empty when it cannot be found out.
std::u16string GetModuleFolder();

}  // namespace platform
