#pragma once

#include <string>

// Registers this program as an installed renderer: a machine-wide uninstall entry "Ombrel <major>"
// with DisplayName, DisplayVersion and an InstallLocation that ends in the separator, and the
// program itself as "Ombrel.exe" in that folder so that it can be launched from there.
// False, with `error` set, when the folder or the entry cannot be written.
bool InstallRenderer(const std::string& folder, const std::string& version, std::string& error);

// Removes the uninstall entries whose InstallLocation is the folder this program runs from, so
// that an installed copy uninstalls itself and never another installation of the same major
// version; the program file stays. False, with `error` set, when no entry points there or one
// cannot be removed.
bool UninstallRenderer(std::string& error);

// The window title: "Ombrel " and the DisplayVersion of the entry whose InstallLocation is the
// folder this program runs from, or "Ombrel 12.0" when that folder is not installed.
std::string InstalledTitle();
