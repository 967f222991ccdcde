#pragma once

#include <cstdint>

#include "sdk/HostCallback.h"
#include "sdk/IVWUnknown.h"
#include "sdk/VWIID.h"

// The module's three extensions and what the module entry does with them.
namespace ExtensionTable {

inline constexpr int32_t kResultSuccess = 0;
inline constexpr int32_t kResultFailed = 12;

// Registers every extension the host gets: all three when fully enabled, else only the tool.
// Failures reported by the host are not passed on.
void RegisterExtensions(VWModuleInfo* moduleInfo, bool fullyEnabled);
// Creates the extension whose own ID is `iid` into `slot`. 12 when it could not be created (the
// slot is then null); 0 with the slot untouched when no offered extension has that ID.
int32_t CreateExtension(const VWIID& iid, IVWUnknown*& slot, CallBackPtr callback, bool fullyEnabled);
// Destroys the object in `slot` when it is of the class that owns `iid`, and empties the slot.
// 12 when the slot holds anything else; 0 when no offered extension has that ID.
int32_t ReleaseExtension(const VWIID& iid, IVWUnknown*& slot, bool fullyEnabled);

}  // namespace ExtensionTable
