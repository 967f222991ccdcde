#include "tools/host/StandInHost.h"

#include <cstdio>

#include "platform/TextConversion.h"
#include "sdk/VWExtension.h"
#include "tools/host/HostConsole.h"

namespace {

// The callback entry is a plain function; it reaches the one host of this process through here.
StandInHost* gHost = nullptr;

std::string UniversalName(IVWUnknown* object) {
  // The host asked for an extension, so a non-null answer is one.
  return platform::Utf8FromUtf16(static_cast<VWExtension*>(object)->GetUniversalName());
}

}  // namespace

StandInHost::StandInHost(HostOptions options)
    : options_(std::move(options)),
      sdk_(options_.hostVersion),
      document_(u""),
      resources_(options_.resourceFolder) {
  moduleInfo_.path = options_.modulePath;
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
      return Offers("main-window") ? 1 : 0;
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
      {IID_DocumentService, "document", &document_, &document_},
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
  IVWUnknown* unused = nullptr;
  moduleMain_(kModuleActionRegister, &moduleInfo_, nullptr, unused, CallbackForModule());
  bool allSucceeded = true;
  for (const ExtensionRegistration& registration : registry_.registrations()) {
    allSucceeded = CreateAndRelease(registration) && allSucceeded;
  }
  return allSucceeded;
}

bool StandInHost::CreateAndRelease(const ExtensionRegistration& registration) {
  const std::string extension =
      std::string(ExtensionKindName(registration.kindId)) + " " + FormatVWIID(registration.ownId);
  IVWUnknown* object = nullptr;
  int32_t result = moduleMain_(kModuleActionCreate, &moduleInfo_, &registration.ownId, object, CallbackForModule());
  if (result != 0 || !object) {
    HostConsole::PrintLine("refused " + extension + " (create gave " + std::to_string(result) + ")");
    return false;
  }
  HostConsole::PrintLine("created " + extension + " \"" + UniversalName(object) + "\"");
  result = moduleMain_(kModuleActionRelease, &moduleInfo_, &registration.ownId, object, CallbackForModule());
  if (result != 0) {
    HostConsole::PrintLine("refused " + extension + " (release gave " + std::to_string(result) + ")");
    return false;
  }
  HostConsole::PrintLine("released " + extension);
  return true;
}

bool StandInHost::UnloadModule() {
  if (!moduleMain_) return true;
  moduleDeinit_();
  moduleMain_ = nullptr;
  moduleDeinit_ = nullptr;
  library_.Unload();
  HostConsole::PrintLine("unloaded the module");

  bool released = true;
  for (const OfferedService& offered : Services()) {
    const uint32_t references = offered.counter->references();
    if (references == 0) continue;
    HostConsole::PrintLine("warning: the module still holds " + std::to_string(references) +
                           " reference(s) to the " + offered.name + " service");
    released = false;
  }
  return released;
}
