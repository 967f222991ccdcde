// The three functions the host calls; the only symbols the module exports.

#include <cstdint>
#include <type_traits>

#include "diag/DebugLog.h"
#include "link/OmbrelPlugin.h"
#include "module/ExtensionTable.h"
#include "platform/Parallel.h"
#include "sdk/HostBinding.h"
#include "sdk/ModuleEntryPoints.h"
#include "sdk/PluginIdentity.h"
#include "ui/DialogUI.h"

// Binds the host on every call, then registers, creates or releases extensions. Returns 0, or 12
// when an object could not be created or a released object is not of the expected class.
TIDELINK_MODULE_EXPORT int32_t plugin_module_main(int32_t action, VWModuleInfo* moduleInfo,
                                                  const VWIID* iid, IVWUnknown*& slot,
                                                  CallBackPtr callback) {
  HostBinding::Bind(callback);
  const bool fullyEnabled = HostBinding::IsFullyEnabled();
  static_assert(std::is_same_v<decltype(&plugin_module_main), ModuleMainFunction>);
  switch (action) {
    case kModuleActionRegister:
      ExtensionTable::RegisterExtensions(moduleInfo, fullyEnabled);
      return ExtensionTable::kResultSuccess;
    case kModuleActionCreate:
      return iid ? ExtensionTable::CreateExtension(*iid, slot, callback, fullyEnabled)
                 : ExtensionTable::kResultSuccess;
    case kModuleActionRelease:
      return iid ? ExtensionTable::ReleaseExtension(*iid, slot, fullyEnabled)
                 : ExtensionTable::kResultSuccess;
    default:
      return ExtensionTable::kResultSuccess;
  }
}

TIDELINK_MODULE_EXPORT int32_t plugin_module_ver() { return kModuleVersion; }

// Closes the user interface (and its progress thread), then lets go of the host interfaces.
TIDELINK_MODULE_EXPORT void plugin_module_deinit() {
  // The controller goes first: a running export still needs the dialogs and the host to stop.
  OmbrelPlugin::DestroyInstance();
  DialogUI::DestroyInstance();
  // The pool's threads run code that the module brought in; they must not outlive it.
  if (!platform::EndWorkers()) {
    DebugLog("the task pool's worker threads could not be ended before unload");
  }
  HostBinding::Release();
}
