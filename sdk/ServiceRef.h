#pragma once

#include <utility>

#include "sdk/HostCallback.h"
#include "sdk/IVWUnknown.h"

// Holds one reference to a host service and releases it when it goes out of scope.
template <class Service>
class ServiceRef {
public:
  ServiceRef() = default;
  explicit ServiceRef(Service* service) : service_(service) {}
  ServiceRef(ServiceRef&& other) noexcept : service_(std::exchange(other.service_, nullptr)) {}
  ServiceRef& operator=(ServiceRef&& other) noexcept {
    if (this != &other) {
      reset();
      service_ = std::exchange(other.service_, nullptr);
    }
    return *this;
  }
  ServiceRef(const ServiceRef&) = delete;
  ServiceRef& operator=(const ServiceRef&) = delete;
  ~ServiceRef() { reset(); }

  // Hands the reference over to the caller, who must Release it.
  Service* release() { return std::exchange(service_, nullptr); }
  void reset() {
    if (service_) std::exchange(service_, nullptr)->Release();
  }
  Service* get() const { return service_; }
  Service* operator->() const { return service_; }
  explicit operator bool() const { return service_ != nullptr; }

private:
  Service* service_ = nullptr;
};

// Asks the host behind `callback` for the service `iid`; empty when it has none.
template <class Service>
ServiceRef<Service> QueryHostService(CallBackPtr callback, const VWIID& iid) {
  if (!callback) return {};
  QueryInterfaceArguments arguments{iid, nullptr};
  callback(HostFunction::kQueryInterface, &arguments);
  return ServiceRef<Service>(static_cast<Service*>(arguments.service));
}
