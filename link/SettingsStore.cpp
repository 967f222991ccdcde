#include "link/SettingsStore.h"

#include "platform/Registry.h"

namespace {

bool OpenSettingsKey(platform::RegistryKey& key) {
  using platform::RegistryKey;
  using platform::RegistryRoot;
  const int32_t opened = RegistryKey::Open(RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key);
  if (opened == platform::kErrorSuccess) return true;
  if (opened != platform::kErrorFileNotFound) return false;
  return RegistryKey::Create(RegistryRoot::CurrentUser, SettingsStore::kKeyPath, key) ==
         platform::kErrorSuccess;
}

}  // namespace

// Registry value names with their fields and defaults, in the order they are read and written.
const SettingsStore::Value SettingsStore::kValues[] = {
    {u"CameraAutoSync", &SettingsStore::cameraAutoSync_, 1},
    {u"RepairMode", &SettingsStore::repairMode_, 1},
    {u"OptimizeGeometries", &SettingsStore::optimizeGeometries_, 0},
    {u"FirstTideLink", &SettingsStore::firstTideLink_, 1},
    {u"FirstExport", &SettingsStore::firstExport_, 1},
};

SettingsStore::SettingsStore() { Load(); }

void SettingsStore::Load() {
  // Values that could not be stored are newer than what the registry holds.
  if (unsaved_) {
    Save();
    return;
  }
  const platform::RegistryWaitLimit limit(platform::kRegistryWaitOnMainThread);
  platform::RegistryKey key;
  if (!OpenSettingsKey(key)) return;
  for (const Value& value : kValues) {
    uint32_t stored = 0;
    uint32_t size = sizeof(stored);
    // A value of another size would leave part of the number unread: it counts as unreadable.
    const bool readable = key.QueryValue(value.name, nullptr, &stored, &size) ==
                              platform::kErrorSuccess &&
                          size == sizeof(stored);
    this->*value.field = readable ? stored : value.defaultValue;
  }
}

void SettingsStore::Save() const {
  const platform::RegistryWaitLimit limit(platform::kRegistryWaitOnMainThread);
  platform::RegistryKey key;
  bool saved = OpenSettingsKey(key);
  for (const Value& value : kValues) {
    saved = saved && key.SetValue(value.name, platform::kRegistryDword, &(this->*value.field),
                                  sizeof(uint32_t)) == platform::kErrorSuccess;
  }
  unsaved_ = !saved;
}

void SettingsStore::Store(uint32_t& field, bool on) {
  field = on ? 1 : 0;
  Save();
}
