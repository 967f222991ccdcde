#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "link/SettingsStore.h"
#include "platform/Registry.h"
#include "tests/support/TestEnvironment.h"

// The settings' registry key read and written directly, past the store.
class SettingsStoreFixture : public TestEnvironment {
protected:
  static uint32_t CountStoredValues() {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key) != 0) return 0;
    uint32_t count = 0;
    char16_t name[64];
    uint32_t nameLength = 64;
    while (key.EnumValue(count, name, &nameLength, nullptr, nullptr, nullptr) == 0) {
      ++count;
      nameLength = 64;
    }
    return count;
  }

  static void StoreRaw(std::u16string_view name, uint32_t type, const void* data, uint32_t size) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key), 0);
    ASSERT_EQ(key.SetValue(name, type, data, size), 0);
  }

  static std::optional<uint32_t> StoredDword(std::u16string_view name) {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key) != 0) {
      return std::nullopt;
    }
    uint32_t type = 0, value = 0, size = sizeof(value);
    if (key.QueryValue(name, &type, &value, &size) != 0 || type != platform::kRegistryDword || size != 4) {
      return std::nullopt;
    }
    return value;
  }
};
