#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "link/SettingsStore.h"
#include "platform/Registry.h"
#include "tests/link/SettingsStoreFixture.h"

namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

class SettingsStoreTest : public SettingsStoreFixture {};

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
