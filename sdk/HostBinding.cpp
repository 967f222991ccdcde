#include "sdk/HostBinding.h"

#include <atomic>
#include <mutex>

#include "sdk/PluginIdentity.h"

namespace HostBinding {
namespace {

struct Binding {
  std::mutex mutex;
  std::atomic<CallBackPtr> callback{nullptr};
  void* stringPartition = nullptr;
  ISDK* sdk = nullptr;
};

Binding& binding() {
  static Binding instance;
  return instance;
}

void ReleaseLocked(Binding& state) {
  if (state.sdk) state.sdk->Release();
  state.sdk = nullptr;
  state.stringPartition = nullptr;
  state.callback = nullptr;
}

}  // namespace

void Bind(CallBackPtr callback) {
  Binding& state = binding();
  std::lock_guard lock(state.mutex);
  ReleaseLocked(state);
  state.callback = callback;
  if (!callback) return;

  BindModuleArguments bindArguments{kBindModuleRequest, kModuleVersion};
  callback(HostFunction::kBindModule, &bindArguments);
  FindMemoryPartitionArguments partitionArguments{"VWMainPartition", nullptr};
  callback(HostFunction::kFindMemoryPartition, &partitionArguments);
  state.stringPartition = partitionArguments.partition;
  state.sdk = QueryHostService<ISDK>(callback, IID_SDK).release();
}

void Release() {
  Binding& state = binding();
  std::lock_guard lock(state.mutex);
  ReleaseLocked(state);
}

CallBackPtr Callback() { return binding().callback; }

int16_t HostMajorVersion() {
  Binding& state = binding();
  std::lock_guard lock(state.mutex);
  if (!state.sdk) return 0;
  int16_t major = 0, minor = 0, maintenance = 0;
  state.sdk->GetHostVersion(major, minor, maintenance);
  return major;
}

bool IsFullyEnabled() { return HostMajorVersion() == kSupportedHostMajorVersion; }

}  // namespace HostBinding
