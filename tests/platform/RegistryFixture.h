#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "tests/support/TestEnvironment.h"

// Keys and DWORD values under the user's root, and the names a key lists.
class RegistryFixture : public TestEnvironment {
protected:
  using Names = std::vector<std::u16string>;

  static constexpr auto kUser = platform::RegistryRoot::CurrentUser;
  static constexpr std::u16string_view kPath = u"Software\\Brisca\\LiveConnections";

  static platform::RegistryKey CreateKey(platform::RegistryRoot root = kUser, std::u16string_view path = kPath) {
    platform::RegistryKey key;
    EXPECT_EQ(platform::RegistryKey::Create(root, path, key), platform::kErrorSuccess);
    return key;
  }
  static int32_t SetDword(platform::RegistryKey& key, std::u16string_view name, uint32_t value) {
    return key.SetValue(name, platform::kRegistryDword, &value, sizeof(value));
  }
  static std::optional<uint32_t> QueryDword(const platform::RegistryKey& key, std::u16string_view name) {
    uint32_t value = 0;
    uint32_t size = sizeof(value);
    if (key.QueryValue(name, nullptr, &value, &size) != platform::kErrorSuccess) return {};
    return value;
  }
  // Sorted: the system registry promises no order of values (Wine lists them by name), so only
  // the set is pinned, each value once under the name it was first written with.
  static Names EnumNames(const platform::RegistryKey& key) {
    Names names;
    char16_t name[260];
    uint32_t length = 260;
    for (uint32_t i = 0; key.EnumValue(i, name, &length, nullptr, nullptr, nullptr) == 0; ++i) {
      names.emplace_back(name, length);
      length = 260;
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};
