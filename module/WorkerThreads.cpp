#include "module/WorkerThreads.h"

#include <cstdint>
#include <new>

#include <tbb/global_control.h>

#include "diag/DebugLog.h"
#include "platform/SharedLibrary.h"

namespace {

// Any function of the task library, to find the library by.
const void* TaskLibraryAddress() {
  using Finalize = bool (*)(tbb::detail::d1::task_scheduler_handle&, std::intptr_t);
  return reinterpret_cast<const void*>(static_cast<Finalize>(&tbb::detail::r1::finalize));
}

}  // namespace

void EndWorkerThreads() {
  // A worker that is still leaving when the host unloads the module runs on in the task library,
  // so that library stays in memory for good, whatever happens below.
  if (!platform::KeepLoadedUntilExit(TaskLibraryAddress())) {
    DebugLog("the task library could not be kept loaded past the module's unload");
  }
  tbb::task_scheduler_handle scheduler{tbb::attach{}};
  if (!tbb::finalize(scheduler, std::nothrow)) {
    DebugLog("the task pool's worker threads could not be ended before unload");
  }
}
