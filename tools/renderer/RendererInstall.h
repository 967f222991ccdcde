#pragma once

#include <string>

// Registers this program as an installed renderer: a machine-wide uninstall entry "Ombrel <major>"
// with DisplayName, DisplayVersion and an InstallLocation that ends in the separator, and the
// program itself as "Ombrel.exe" in that folder so that it can be launched from there.
// False, with `error` set, when the folder or the entry cannot be written.
bool InstallRenderer(const std::string& folder, const std::string& version, std::string& error);
