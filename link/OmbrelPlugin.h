#pragma once

#include <memory>

#include "link/ColladaExporter.h"
#include "link/SettingsStore.h"

// The process-wide link controller. Created on first use by whichever extension or host
// notification needs it first, and destroyed at module unload while the host is still bound.
class OmbrelPlugin {
public:
  static OmbrelPlugin& Instance();
  // Ends a running export and destroys the instance; the next Instance() makes a new one.
  static void DestroyInstance();

  OmbrelPlugin();
  ~OmbrelPlugin();
  OmbrelPlugin(const OmbrelPlugin&) = delete;
  OmbrelPlugin& operator=(const OmbrelPlugin&) = delete;

  SettingsStore& settings() { return settings_; }
  ColladaExporter& exporter() { return *exporter_; }

  // Saves the drawing as a COLLADA file. A live link would be stopped first; none runs yet.
  void SaveAsCollada();

private:
  SettingsStore settings_;
  std::unique_ptr<ColladaExporter> exporter_;
};
