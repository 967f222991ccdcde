#pragma once

#include <cstdint>

#include "sdk/VWIID.h"

class IVWUnknown;

// The host's callback entry: one function, selected by number, with a per-function argument
// record. It returns 0 when the host does not offer the function.
using CallBackPtr = intptr_t (*)(int32_t function, void* arguments);

// Opaque host record that identifies the loaded module; handed back at registration.
struct VWModuleInfo;

namespace HostFunction {
inline constexpr int32_t kBindModule = 326;         // BindModuleArguments
inline constexpr int32_t kGetMainWindow = 333;      // no arguments; returns the window handle
inline constexpr int32_t kQueryInterface = 1024;    // QueryInterfaceArguments
inline constexpr int32_t kFindMemoryPartition = 1025;  // FindMemoryPartitionArguments
}  // namespace HostFunction

inline constexpr int32_t kBindModuleRequest = 499;

struct BindModuleArguments {
  int32_t request;        // kBindModuleRequest
  int32_t moduleVersion;  // the module's plugin_module_ver()
};

// On success the host fills `service` with a reference the caller must Release.
struct QueryInterfaceArguments {
  VWIID iid;
  IVWUnknown* service;
};

struct FindMemoryPartitionArguments {
  const char* name;  // "VWMainPartition" for host strings
  void* partition;
};
