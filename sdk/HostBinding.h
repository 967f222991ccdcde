#pragma once

#include <cstdint>

#include "sdk/HostCallback.h"
#include "sdk/HostServices.h"
#include "sdk/ServiceRef.h"

// What the module holds of the host between calls: the callback entry, the memory partition for
// host strings and the SDK object. Rebound on every module call; released at module deinit.
namespace HostBinding {

// Releases what an earlier call cached, stores `callback`, binds the module with its version and
// obtains the partition and the SDK object. A null callback leaves the module unbound.
void Bind(CallBackPtr callback);
void Release();

CallBackPtr Callback();
// The host's major version; 0 when the host has no SDK object.
int16_t HostMajorVersion();
// True on the one host major version the plug-in fully supports.
bool IsFullyEnabled();

// A host service by ID, released when the returned reference goes out of scope; empty when the
// host does not offer it.
template <class Service>
ServiceRef<Service> Query(const VWIID& iid) {
  return QueryHostService<Service>(Callback(), iid);
}

}  // namespace HostBinding
