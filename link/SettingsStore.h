#pragma once

#include <cstdint>
#include <string_view>

// The plug-in's five user settings, kept under the current user's registry key
// "Software\Brisca\PluginForVectorworks" as REG_DWORD values 0 or 1. Every setter writes all five
// values at once. When the key can be neither opened nor created, loading leaves the record as it
// is and saving writes nothing. The registry calls of one load or save wait 0.5 s at most in all
// for another process that holds the registry; values that could not be saved stay in the record
// and are saved by the next load or save, instead of being read over.
class SettingsStore {
public:
  static constexpr std::u16string_view kKeyPath = u"Software\\Brisca\\PluginForVectorworks";

  // Starts from the defaults, then loads what is stored.
  SettingsStore();

  // Reads the five values; one that is missing or not 4 bytes long takes its default.
  void Load();
  void Save() const;

  bool CameraAutoSync() const { return cameraAutoSync_ != 0; }
  bool RepairMode() const { return repairMode_ != 0; }
  bool OptimizeGeometries() const { return optimizeGeometries_ != 0; }
  bool FirstTideLink() const { return firstTideLink_ != 0; }
  bool FirstExport() const { return firstExport_ != 0; }

  void SetCameraAutoSync(bool on) { Store(cameraAutoSync_, on); }
  void SetRepairMode(bool on) { Store(repairMode_, on); }
  void SetOptimizeGeometries(bool on) { Store(optimizeGeometries_, on); }
  void SetFirstTideLink(bool on) { Store(firstTideLink_, on); }
  void SetFirstExport(bool on) { Store(firstExport_, on); }

private:
  struct Value {
    std::u16string_view name;
    uint32_t SettingsStore::*field;
    uint32_t defaultValue;
  };
  static const Value kValues[];

  void Store(uint32_t& field, bool on);

  uint32_t cameraAutoSync_ = 1;
  uint32_t repairMode_ = 1;
  uint32_t optimizeGeometries_ = 0;
  uint32_t firstTideLink_ = 1;
  uint32_t firstExport_ = 1;
  // The last save did not store every value.
  mutable bool unsaved_ = false;
};
