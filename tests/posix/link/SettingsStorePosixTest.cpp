#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "link/SettingsStore.h"
#include "platform/Registry.h"
#include "tests/posix/RegistryHold.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

class SettingsStorePosixTest : public TestEnvironment {
protected:
  static uint32_t CountStoredValues() {
    RegistryKey key;
    if (RegistryKey::Open(RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key) != 0) return 0;
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
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key), 0);
    ASSERT_EQ(key.SetValue(name, type, data, size), 0);
  }

  static std::optional<uint32_t> StoredDword(std::u16string_view name) {
    RegistryKey key;
    if (RegistryKey::Open(RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key) != 0) return std::nullopt;
    uint32_t type = 0, value = 0, size = sizeof(value);
    if (key.QueryValue(name, &type, &value, &size) != 0 || type != platform::kRegistryDword || size != 4) {
      return std::nullopt;
    }
    return value;
  }
};

TEST_F(SettingsStorePosixTest, ACorruptRegistryFileGivesDefaultsAndIsLeftAsItWas) {
  const std::string garbage(4096, '\x5A');
  std::ofstream(registryPath(), std::ios::binary) << garbage;
  SettingsStore settings;
  EXPECT_TRUE(settings.CameraAutoSync());
  EXPECT_FALSE(settings.OptimizeGeometries());
  settings.SetOptimizeGeometries(true);  // cannot be stored, must not crash
  EXPECT_TRUE(settings.OptimizeGeometries());
  EXPECT_EQ(ReadFile(registryPath()), garbage);
}

// Another process holding the registry must not stall the host: a load or save waits half a
// second at most in all, the record keeps what the user chose, and the next chance stores it.
TEST_F(SettingsStorePosixTest, AHeldRegistryDelaysASaveBrieflyAndItsValuesAreStoredLater) {
  using Clock = std::chrono::steady_clock;
  SettingsStore settings;
  settings.SetRepairMode(true);
  RegistryHold hold(registryPath());
  ASSERT_TRUE(hold.held());
  Clock::time_point start = Clock::now();
  settings.SetFirstExport(false);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(StoredDword(u"FirstExport"), 1u);
  start = Clock::now();
  settings.Load();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_FALSE(settings.FirstExport()) << "a warning once shown is not shown again";

  hold.Release();
  settings.Load();
  EXPECT_EQ(StoredDword(u"FirstExport"), 0u);
  EXPECT_FALSE(settings.FirstExport());
  EXPECT_TRUE(settings.RepairMode());
}

}  // namespace
