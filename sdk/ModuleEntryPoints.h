#pragma once

#include <cstdint>

#include "sdk/HostCallback.h"
#include "sdk/IVWUnknown.h"
#include "sdk/VWIID.h"

// The functions a module exports, by name, and the actions the host passes to the main one.

// Marks a definition as one of the module's entry points, exported under its C name: the only
// symbols the module's library shows the host.
#ifdef _WIN32
#define TIDELINK_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define TIDELINK_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

enum ModuleAction : int32_t {
  kModuleActionRegister = -3,
  kModuleActionCreate = -4,
  kModuleActionRelease = -5,
};

inline constexpr char kModuleMainName[] = "plugin_module_main";
inline constexpr char kModuleVersionName[] = "plugin_module_ver";
inline constexpr char kModuleDeinitName[] = "plugin_module_deinit";

// (action, module info, interface ID, interface slot, callback entry) → result code.
using ModuleMainFunction = int32_t (*)(int32_t action, VWModuleInfo* moduleInfo, const VWIID* iid,
                                       IVWUnknown*& slot, CallBackPtr callback);
using ModuleVersionFunction = int32_t (*)();
using ModuleDeinitFunction = void (*)();
