#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/SharedLibrary.h"
#include "sdk/ModuleEntryPoints.h"
#include "tools/host/DrawingStream.h"
#include "tools/host/HostMainWindow.h"
#include "tools/host/HostOptions.h"
#include "tools/host/MainLoop.h"
#include "tools/host/OpenDrawings.h"
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
  // Asks the module to register its extensions.
  void RegisterExtensions();
  // Creates the registered extension of that kind; null, with the reason printed, when there is
  // none or the module refused.
  IVWUnknown* CreateExtension(const VWIID& kindId);
  // Hands the extension back to the module; false, with the reason printed, when it refused.
  bool ReleaseExtension(const VWIID& kindId, IVWUnknown*& extension);
  // Chooses the menu command whose extension `menu` is.
  void RunMenuCommand(IVWUnknown* menu);
  // Runs the script function `name` of the set `functions`; false when the set has no such
  // function. The result the function sets is printed by the scripting service.
  bool RunScriptFunction(IVWUnknown* functions, std::u16string_view name);
  // A text of one of the plug-in's string tables (by table name), as the resource service gives it.
  std::u16string ResourceText(std::u16string_view table, std::u16string_view key);
  // The plug-in listens for `code`.
  bool IsNotificationRegistered(uint32_t code);
  // Calls the module's deinit and unloads it. False when the module still holds references to
  // host services afterwards.
  bool UnloadModule();

  // How long a model file may take to read before the host gives up on it.
  static constexpr std::chrono::seconds kModelReadLimit{20};

  // Reads the drawing the options name (the built-in sample when none) and hands it to the
  // scene-change service. False, with the reason printed, when the file cannot be read; a file
  // whose reading does not end within kModelReadLimit ends the host (exit status 1), said so.
  bool LoadDrawing();
  // Runs the main thread's tick ('AFTE' every 50 ms, posted tool messages handed over, scene
  // deliveries let begin; whether it ticks while a delivery sends is the tick policy, see MainLoop)
  // until `done` gives true or `timeout` passes; true when `done` gave true. For commands that
  // wait on the plug-in, such as an export or a link.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Posts a host notification (e.g. 'APSD') to the plug-in now, on the calling thread.
  void PostNotification(uint32_t code, intptr_t data);
  void SetTickPolicy(TickPolicy policy);
  // One tick of the main loop now (see MainLoop::Tick).
  bool Tick();
  // Makes the sheet layer (or the design layer) active, which is another view of the pane.
  void ActivateSheetLayer(bool sheet);
  // The event sink of the tool extension `tool`.
  static VWTool_EventSink* ToolEventSink(IVWUnknown* tool);

  DrawingStream& sceneStream() { return sceneChange_; }
  MainLoop& mainLoop() { return mainLoop_; }
  ToolService& tools() { return tools_; }
  ViewPaneLabelService& labels() { return viewPaneLabel_; }
  StatusMessageService& statusMessages() { return statusMessages_; }
  LayerService& layers() { return layers_; }
  OpenDrawings& documents() { return documents_; }
  HostMainWindow& mainWindow() { return mainWindow_; }

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
  IVWUnknown* Create(const ExtensionRegistration& registration);
  bool Release(const ExtensionRegistration& registration, IVWUnknown*& extension);
  std::optional<ExtensionRegistration> FindRegistration(const VWIID& kindId) const;

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
  OpenDrawings documents_;
  DrawingStream sceneChange_;
  StatusMessageService statusMessages_;
  ViewPaneLabelService viewPaneLabel_;
  ViewDescriptionService viewDescription_;
  ToolService tools_;
  ResourceService resources_;
  ScriptingService scripting_;
  HostMainWindow mainWindow_;
  MainLoop mainLoop_;
};
