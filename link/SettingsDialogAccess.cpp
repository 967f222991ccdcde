#include "link/SettingsDialogAccess.h"

#include "link/SettingsStore.h"

bool SettingsDialogAccess::IsOn(ui::DialogSetting setting) {
  const SettingsStore settings;
  switch (setting) {
    case ui::DialogSetting::CameraAutoSync:
      return settings.CameraAutoSync();
    case ui::DialogSetting::RepairMode:
      return settings.RepairMode();
    case ui::DialogSetting::OptimizeGeometries:
      return settings.OptimizeGeometries();
  }
  return false;
}

void SettingsDialogAccess::Store(ui::DialogSetting setting, bool on) {
  SettingsStore settings;
  switch (setting) {
    case ui::DialogSetting::CameraAutoSync:
      settings.SetCameraAutoSync(on);
      break;
    case ui::DialogSetting::RepairMode:
      settings.SetRepairMode(on);
      break;
    case ui::DialogSetting::OptimizeGeometries:
      settings.SetOptimizeGeometries(on);
      break;
  }
}
