#include "module/WorkerThreads.h"

#include <new>

#include <tbb/global_control.h>

#include "diag/DebugLog.h"

bool EndWorkerThreads() {
  tbb::task_scheduler_handle scheduler{tbb::attach{}};
  if (tbb::finalize(scheduler, std::nothrow)) return true;
  DebugLog("the task pool's worker threads could not be ended before unload");
  return false;
}
