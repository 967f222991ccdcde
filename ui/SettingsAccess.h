#pragma once

// The three settings the Settings dialog edits, as the caller keeps them. The user interface sits
// below the settings store, so the caller hands this in.
namespace ui {

enum class DialogSetting { CameraAutoSync, RepairMode, OptimizeGeometries };

class SettingsAccess {
public:
  // The stored value, read afresh on every call.
  virtual bool IsOn(DialogSetting setting) = 0;
  // Stores the change at once, on top of the values stored now rather than a copy taken
  // earlier, so that nothing else stored meanwhile is undone.
  virtual void Store(DialogSetting setting, bool on) = 0;

protected:
  ~SettingsAccess() = default;
};

}  // namespace ui
