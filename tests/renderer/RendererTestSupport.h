#pragma once

#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/Registry.h"

// Writes a machine-wide uninstall entry as an installer would; a null value is left out.
inline void AddUninstallEntry(const std::u16string& key, const char16_t* displayName, const char16_t* displayVersion,
                              const char16_t* installLocation = nullptr) {
  platform::RegistryKey entry;
  ASSERT_EQ(platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine,
                                          u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + key, entry),
            0);
  for (const auto& [name, text] : {std::pair{u"DisplayName", displayName}, std::pair{u"DisplayVersion", displayVersion},
                                   std::pair{u"InstallLocation", installLocation}}) {
    if (!text) continue;
    const std::u16string value(text);
    ASSERT_EQ(entry.SetValue(name, platform::kRegistryString, value.c_str(), static_cast<uint32_t>((value.size() + 1) * 2)), 0);
  }
}
