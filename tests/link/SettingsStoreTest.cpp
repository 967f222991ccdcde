#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "link/SettingsStore.h"
#include "platform/Registry.h"
#include "tests/support/TestEnvironment.h"

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

class SettingsStoreTest : public TestEnvironment {
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

TEST_F(SettingsStoreTest, FirstLoadCreatesTheKeyWithDefaultsAndWritesNothing) {
  SettingsStore settings;
  EXPECT_TRUE(settings.CameraAutoSync());
  EXPECT_TRUE(settings.RepairMode());
  EXPECT_FALSE(settings.OptimizeGeometries());
  EXPECT_TRUE(settings.FirstTideLink());
  EXPECT_TRUE(settings.FirstExport());

  RegistryKey key;
  EXPECT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key), 0);
  EXPECT_EQ(CountStoredValues(), 0u);
}

TEST_F(SettingsStoreTest, EverySetterWritesAllFiveValuesAsDwords) {
  SettingsStore settings;
  settings.SetFirstTideLink(false);
  EXPECT_EQ(CountStoredValues(), 5u);
  EXPECT_EQ(StoredDword(u"CameraAutoSync"), 1u);
  EXPECT_EQ(StoredDword(u"RepairMode"), 1u);
  EXPECT_EQ(StoredDword(u"OptimizeGeometries"), 0u);
  EXPECT_EQ(StoredDword(u"FirstTideLink"), 0u);
  EXPECT_EQ(StoredDword(u"FirstExport"), 1u);

  settings.SetOptimizeGeometries(true);
  settings.SetCameraAutoSync(false);
  settings.SetRepairMode(false);
  settings.SetFirstExport(false);
  SettingsStore reloaded;
  EXPECT_FALSE(reloaded.CameraAutoSync());
  EXPECT_FALSE(reloaded.RepairMode());
  EXPECT_TRUE(reloaded.OptimizeGeometries());
  EXPECT_FALSE(reloaded.FirstTideLink());
  EXPECT_FALSE(reloaded.FirstExport());
}

TEST_F(SettingsStoreTest, StoredNumbersOtherThanZeroCountAsOnAndAreWrittenBackAsOne) {
  const uint32_t seven = 7;
  StoreRaw(u"optimizegeometries", platform::kRegistryDword, &seven, sizeof(seven));
  SettingsStore settings;
  EXPECT_TRUE(settings.OptimizeGeometries()) << "value names are compared without case";
  settings.SetFirstExport(false);
  EXPECT_EQ(StoredDword(u"OptimizeGeometries"), 7u) << "saving writes the number as loaded";
  settings.SetOptimizeGeometries(true);
  EXPECT_EQ(StoredDword(u"OptimizeGeometries"), 1u);
}

TEST_F(SettingsStoreTest, ValuesThatCannotBeReadAsFourBytesTakeTheirDefaults) {
  const uint32_t off = 0;
  const uint16_t shortValue = 0;
  const char text[] = "0 but a string";
  StoreRaw(u"CameraAutoSync", platform::kRegistryString, text, sizeof(text));
  StoreRaw(u"RepairMode", platform::kRegistryBinary, &shortValue, sizeof(shortValue));
  StoreRaw(u"FirstExport", platform::kRegistryBinary, &off, sizeof(off));  // type is not checked
  SettingsStore settings;
  EXPECT_TRUE(settings.CameraAutoSync());
  EXPECT_TRUE(settings.RepairMode());
  EXPECT_FALSE(settings.FirstExport());
}

}  // namespace
