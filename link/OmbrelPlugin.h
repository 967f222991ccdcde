#pragma once

#include "link/SettingsStore.h"

// The process-wide link controller. Created on first use by whichever extension needs it first,
// under thread-safe one-time initialisation, and destroyed when the module is unloaded.
class OmbrelPlugin {
public:
  static OmbrelPlugin& Instance();

  OmbrelPlugin(const OmbrelPlugin&) = delete;
  OmbrelPlugin& operator=(const OmbrelPlugin&) = delete;

  SettingsStore& settings() { return settings_; }

private:
  OmbrelPlugin() = default;
  ~OmbrelPlugin() = default;

  SettingsStore settings_;
};
