#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "link/SettingsStore.h"
#include "platform/Registry.h"
#include "tests/link/SettingsStoreFixture.h"
#include "tests/posix/RegistryHold.h"

namespace {

class SettingsStorePosixTest : public SettingsStoreFixture {};

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
