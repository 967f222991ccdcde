#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SharedLibrary.h"
#include "sdk/ModuleEntryPoints.h"
#include "tools/host/HostOptions.h"
#include "tools/host/StandInServices.h"

// The host's record of the loaded module, opaque to the module.
struct VWModuleInfo {
  std::string path;
};

// Plays the CAD application for one module: offers the callback entry and the services that the
// options leave switched on, and drives the module through its exported functions.
class StandInHost {
public:
  explicit StandInHost(HostOptions options);
  ~StandInHost();
  StandInHost(const StandInHost&) = delete;
  StandInHost& operator=(const StandInHost&) = delete;

  // False, with the reason printed, when the module cannot be loaded or lacks an entry point.
  bool LoadModule();
  // Registers the extensions, then creates and releases each registered one. False when a
  // create or release failed.
  bool RunExtensionLifecycle();
  // Calls the module's deinit and unloads it. False when the module still holds references to
  // host services afterwards.
  bool UnloadModule();

private:
  static intptr_t Callback(int32_t function, void* arguments);
  intptr_t Dispatch(int32_t function, void* arguments);
  struct OfferedService {
    const VWIID& id;
    const char* name;  // as --without names it
    IVWUnknown* service;
    const ReferenceCounter* counter;
  };
  std::vector<OfferedService> Services();
  IVWUnknown* FindService(const VWIID& iid);
  bool Offers(const char* service) const;
  CallBackPtr CallbackForModule() const;
  bool CreateAndRelease(const ExtensionRegistration& registration);

  HostOptions options_;
  VWModuleInfo moduleInfo_;
  platform::SharedLibrary library_;
  ModuleMainFunction moduleMain_ = nullptr;
  ModuleDeinitFunction moduleDeinit_ = nullptr;

  SdkService sdk_;
  ExtensionRegistryService registry_;
  NotificationService notifications_;
  ProgramVariablesService programVariables_;
  LayerService layers_;
  DocumentService document_;
  SceneChangeService sceneChange_;
  StatusMessageService statusMessages_;
  ViewPaneLabelService viewPaneLabel_;
  ViewDescriptionService viewDescription_;
  ToolService tools_;
  ResourceService resources_;
  ScriptingService scripting_;
};
