#pragma once

#include "ui/SettingsAccess.h"

// What the Settings dialog edits, read and stored through a fresh settings record on every call,
// so that a click never writes back values another part of the plug-in changed meanwhile.
class SettingsDialogAccess final : public ui::SettingsAccess {
public:
  bool IsOn(ui::DialogSetting setting) override;
  void Store(ui::DialogSetting setting, bool on) override;
};
