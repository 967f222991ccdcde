#include "tools/host/StandInHost.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "platform/TextConversion.h"
#include "sdk/ResourceStrings.h"
#include "sdk/VWExtension.h"
#include "tools/host/HostConsole.h"
#include "tools/host/ModelDrawing.h"
#include "tools/host/GridDrawing.h"
#include "tools/host/SampleDrawing.h"

namespace {

// The callback entry is a plain function; it reaches the one host of this process through here.
StandInHost* gHost = nullptr;

DrawingStreamSettings StreamSettings(const HostOptions& options) {
  DrawingStreamSettings settings;
  settings.viewReport = options.viewReport;
  settings.cancelAfter = options.cancelAfter;
  settings.endlessBatch = options.endlessBatch;
  settings.verbose = options.verboseStream;
  return settings;
}

// The design layer's view and the sheet layer's are two views of the one pane.
constexpr int64_t kDesignLayerView = 1;
constexpr int64_t kSheetLayerView = 2;

int16_t DesignProjection(HostView view) {
  return view == HostView::kNoPerspective ? LayerService::kProjectionTop : kProjectionPerspective;
}

std::string DescribeExtension(const ExtensionRegistration& registration) {
  return std::string(ExtensionKindName(registration.kindId)) + " " + FormatVWIID(registration.ownId);
}

std::string UniversalName(IVWUnknown* object) {
  // The host asked for an extension, so a non-null answer is one.
  return platform::Utf8FromUtf16(static_cast<VWExtension*>(object)->GetUniversalName());
}

}  // namespace

StandInHost::StandInHost(HostOptions options)
    : options_(std::move(options)),
      sdk_(options_.hostVersion),
      layers_(options_.view == HostView::kSheetLayer, DesignProjection(options_.view)),
      documents_(notifications_, platform::Utf16FromUtf8(options_.documentPath)),
      sceneChange_(StreamSettings(options_)),
      resources_(options_.resourceFolder),
      mainWindow_(options_.userInterface == kWindowsInterface),
      mainLoop_(notifications_, &sceneChange_) {
  moduleInfo_.path = options_.modulePath;
  sceneChange_.SetActiveView(options_.view == HostView::kSheetLayer ? kSheetLayerView : kDesignLayerView, 0);
  mainLoop_.SetIdleWork([this] { tools_.DeliverPostedMessages(); });
  if (mainWindow_.handle()) {
    mainLoop_.SetIdleWait([this](std::chrono::steady_clock::time_point until) { mainWindow_.WaitUntil(until); });
  }
  gHost = this;
}

StandInHost::~StandInHost() {
  UnloadModule();
  gHost = nullptr;
}

bool StandInHost::Offers(const char* service) const { return options_.disabledServices.count(service) == 0; }

CallBackPtr StandInHost::CallbackForModule() const { return Offers("callback") ? &StandInHost::Callback : nullptr; }

intptr_t StandInHost::Callback(int32_t function, void* arguments) {
  return gHost ? gHost->Dispatch(function, arguments) : 0;
}

intptr_t StandInHost::Dispatch(int32_t function, void* arguments) {
  switch (function) {
    case HostFunction::kBindModule: {
      const auto* bind = static_cast<const BindModuleArguments*>(arguments);
      return bind && bind->request == kBindModuleRequest ? 1 : 0;
    }
    case HostFunction::kGetMainWindow:
      if (!Offers("main-window")) return 0;
      return mainWindow_.handle() ? mainWindow_.handle() : 1;
    case HostFunction::kFindMemoryPartition: {
      auto* find = static_cast<FindMemoryPartitionArguments*>(arguments);
      if (!find || !Offers("partition")) return 0;
      find->partition = &moduleInfo_;
      return 1;
    }
    case HostFunction::kQueryInterface: {
      auto* query = static_cast<QueryInterfaceArguments*>(arguments);
      if (!query) return 0;
      query->service = FindService(query->iid);
      if (!query->service) return 0;
      query->service->AddRef();
      return 1;
    }
    default:
      return 0;
  }
}

std::vector<StandInHost::OfferedService> StandInHost::Services() {
  return {
      {IID_SDK, "sdk", &sdk_, &sdk_},
      {IID_ExtensionRegistry, "registration", &registry_, &registry_},
      {IID_NotificationService, "notifications", &notifications_, &notifications_},
      {IID_ProgramVariables, "program-variables", &programVariables_, &programVariables_},
      {IID_LayerService, "layers", &layers_, &layers_},
      {IID_DocumentService, "document", &documents_, &documents_},
      {IID_SceneChangeService, "scene-change", &sceneChange_, &sceneChange_},
      {IID_StatusMessageService, "status-messages", &statusMessages_, &statusMessages_},
      {IID_ViewPaneLabelService, "view-pane-label", &viewPaneLabel_, &viewPaneLabel_},
      {IID_ViewDescriptionService, "view-description", &viewDescription_, &viewDescription_},
      {IID_ToolService, "tools", &tools_, &tools_},
      {IID_ResourceService, "resources", &resources_, &resources_},
      {IID_ScriptingService, "scripting", &scripting_, &scripting_},
  };
}

IVWUnknown* StandInHost::FindService(const VWIID& iid) {
  for (const OfferedService& offered : Services()) {
    if (offered.id == iid) return Offers(offered.name) ? offered.service : nullptr;
  }
  return nullptr;
}

bool StandInHost::LoadModule() {
  std::string error;
  if (!platform::SharedLibrary::Load(options_.modulePath, library_, error)) {
    HostConsole::PrintLine("cannot load the module: " + error);
    return false;
  }
  moduleMain_ = reinterpret_cast<ModuleMainFunction>(library_.FindSymbol(kModuleMainName));
  moduleDeinit_ = reinterpret_cast<ModuleDeinitFunction>(library_.FindSymbol(kModuleDeinitName));
  auto moduleVersion = reinterpret_cast<ModuleVersionFunction>(library_.FindSymbol(kModuleVersionName));
  if (!moduleMain_ || !moduleDeinit_ || !moduleVersion) {
    HostConsole::PrintLine("not a plug-in module (an entry point is missing): " + options_.modulePath);
    library_.Unload();
    return false;
  }
  HostConsole::PrintLine("loaded " + options_.modulePath + " (module version " +
                         std::to_string(moduleVersion()) + ") into host version " +
                         std::to_string(options_.hostVersion));
  return true;
}

bool StandInHost::RunExtensionLifecycle() {
  RegisterExtensions();
  bool allSucceeded = true;
  for (const ExtensionRegistration& registration : registry_.registrations()) {
    allSucceeded = CreateAndRelease(registration) && allSucceeded;
  }
  return allSucceeded;
}

void StandInHost::RegisterExtensions() {
  IVWUnknown* unused = nullptr;
  moduleMain_(kModuleActionRegister, &moduleInfo_, nullptr, unused, CallbackForModule());
}

bool StandInHost::CreateAndRelease(const ExtensionRegistration& registration) {
  IVWUnknown* object = Create(registration);
  return object && Release(registration, object);
}

IVWUnknown* StandInHost::Create(const ExtensionRegistration& registration) {
  const std::string extension = DescribeExtension(registration);
  IVWUnknown* object = nullptr;
  const int32_t result =
      moduleMain_(kModuleActionCreate, &moduleInfo_, &registration.ownId, object, CallbackForModule());
  if (result != 0 || !object) {
    HostConsole::PrintLine("refused " + extension + " (create gave " + std::to_string(result) + ")");
    return nullptr;
  }
  HostConsole::PrintLine("created " + extension + " \"" + UniversalName(object) + "\"");
  return object;
}

bool StandInHost::Release(const ExtensionRegistration& registration, IVWUnknown*& extension) {
  const std::string described = DescribeExtension(registration);
  const int32_t result =
      moduleMain_(kModuleActionRelease, &moduleInfo_, &registration.ownId, extension, CallbackForModule());
  if (result != 0) {
    HostConsole::PrintLine("refused " + described + " (release gave " + std::to_string(result) + ")");
    return false;
  }
  HostConsole::PrintLine("released " + described);
  return true;
}

std::optional<ExtensionRegistration> StandInHost::FindRegistration(const VWIID& kindId) const {
  for (const ExtensionRegistration& registration : registry_.registrations()) {
    if (registration.kindId == kindId) return registration;
  }
  return std::nullopt;
}

IVWUnknown* StandInHost::CreateExtension(const VWIID& kindId) {
  const std::optional<ExtensionRegistration> registration = FindRegistration(kindId);
  if (!registration) {
    HostConsole::PrintLine(std::string("the module registered no ") + ExtensionKindName(kindId));
    return nullptr;
  }
  return Create(*registration);
}

bool StandInHost::ReleaseExtension(const VWIID& kindId, IVWUnknown*& extension) {
  const std::optional<ExtensionRegistration> registration = FindRegistration(kindId);
  return registration && Release(*registration, extension);
}

void StandInHost::RunMenuCommand(IVWUnknown* menu) {
  // Created from a menu-command registration, so the object is the module's menu extension.
  static_cast<VWExtensionMenu*>(menu)->GetEventSink()->DoInterface();
}

bool StandInHost::RunScriptFunction(IVWUnknown* functions, std::u16string_view name) {
  auto* set = static_cast<VWExtensionVSFunctions*>(functions);
  const Sequence<VSFunctionDefinition> table = set->GetFunctionTable();
  for (uint64_t index = 0; index < table.count; ++index) {
    if (table[index].name && name == table[index].name) {
      HostConsole::PrintLine(u"script function " + std::u16string(name));
      ScriptCallRecord call = nullptr;
      set->GetRoutine()->Run(static_cast<int32_t>(index), call);
      return true;
    }
  }
  HostConsole::PrintLine(u"the module has no script function " + std::u16string(name));
  return false;
}

std::u16string StandInHost::ResourceText(std::u16string_view table, std::u16string_view key) {
  return resources_.GetString(TXString(StringTablePath(table)), TXString(key), kEmptyTextGivesEmpty).GetStdUString();
}

bool StandInHost::IsNotificationRegistered(uint32_t code) { return notifications_.IsRegistered(code); }

bool StandInHost::LoadDrawing() {
  if (options_.generatedTriangles > 0) {
    Drawing drawing = MakeGridDrawing(options_.generatedTriangles);
    HostConsole::PrintLine("drawing: " + drawing.description);
    sceneChange_.SetDrawing(std::make_shared<const Drawing>(std::move(drawing)));
    return true;
  }
  if (options_.drawingPath.empty()) {
    sceneChange_.SetDrawing(std::make_shared<const Drawing>(MakeSampleDrawing()));
    return true;
  }
  // A broken file can keep the importer busy, and growing, for good (a count of vertices in the
  // billions in a file of a few lines): the host gives up on it after a while, as a user would,
  // and says so. The reading cannot be stopped, so the host ends at once, before the module is
  // loaded and while nothing else needs cleaning up.
  struct Reading {
    std::optional<Drawing> drawing;
    std::string error;
    std::vector<std::string> warnings;
  };
  auto reading = std::make_shared<Reading>();
  std::packaged_task<void()> task([reading, path = options_.drawingPath, upAxis = options_.upAxis] {
    reading->drawing = LoadModelDrawing(path, upAxis, reading->error, reading->warnings);
  });
  std::future<void> finished = task.get_future();
  std::thread(std::move(task)).detach();
  if (finished.wait_for(kModelReadLimit) == std::future_status::timeout) {
    HostConsole::PrintLine("drawing: cannot read " + options_.drawingPath + ": reading did not end within " +
                           std::to_string(kModelReadLimit.count()) + " s");
    std::fflush(stdout);
    std::_Exit(1);
  }
  std::optional<Drawing>& drawing = reading->drawing;
  for (const std::string& warning : reading->warnings) HostConsole::PrintLine("drawing: " + warning);
  if (!drawing) {
    HostConsole::PrintLine("drawing: " + reading->error);
    return false;
  }
  HostConsole::PrintLine("drawing: " + drawing->description + " with " + std::to_string(drawing->materials.size()) +
                         " materials, " + std::to_string(drawing->geometries.size()) + " geometries, " +
                         std::to_string(drawing->instances.size()) + " instances; " + drawing->axes);
  sceneChange_.SetDrawing(std::make_shared<const Drawing>(std::move(*drawing)));
  return true;
}

bool StandInHost::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return mainLoop_.RunUntil(done, timeout);
}

void StandInHost::PostNotification(uint32_t code, intptr_t data) { notifications_.Post(code, data); }

void StandInHost::SetTickPolicy(TickPolicy policy) { mainLoop_.SetPolicy(policy); }

bool StandInHost::Tick() { return mainLoop_.Tick(); }

void StandInHost::ActivateSheetLayer(bool sheet) {
  layers_.ActivateSheetLayer(sheet);
  sceneChange_.SetActiveView(sheet ? kSheetLayerView : kDesignLayerView, 0);
  HostConsole::PrintLine(sheet ? "the sheet layer is active" : "the design layer is active");
}

VWTool_EventSink* StandInHost::ToolEventSink(IVWUnknown* tool) {
  // Created from a tool registration, so the object is the module's tool extension.
  return static_cast<VWExtensionTool*>(tool)->GetEventSink();
}

bool StandInHost::UnloadModule() {
  if (!moduleMain_) return true;
  // The module frees its handlers in deinit; no delivery thread may be inside one then.
  sceneChange_.HaltDeliveries();
  moduleDeinit_();
  bool handlersLeft = false;
  for (const std::u16string& name : sceneChange_.UnregisterAll()) {
    HostConsole::PrintLine("warning: the module left the scene handler \"" + platform::Utf8FromUtf16(name) +
                           "\" registered");
    handlersLeft = true;
  }
  moduleMain_ = nullptr;
  moduleDeinit_ = nullptr;
  library_.Unload();
  HostConsole::PrintLine("unloaded the module");

  bool released = !handlersLeft;
  for (const OfferedService& offered : Services()) {
    const uint32_t references = offered.counter->references();
    if (references == 0) continue;
    HostConsole::PrintLine("warning: the module still holds " + std::to_string(references) +
                           " reference(s) to the " + offered.name + " service");
    released = false;
  }
  return released;
}
