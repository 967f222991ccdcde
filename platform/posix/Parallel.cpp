// The task pool on oneTBB: its waiting threads already run other queued work, which is what the
// contract's nesting asks for.
#include "platform/Parallel.h"

#include <atomic>
#include <cstdint>
#include <new>

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_invoke.h>
#include <tbb/task_arena.h>

#include "platform/SharedLibrary.h"

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace platform {

struct WorkerLimit::State {
  explicit State(int workers)
      : control(tbb::global_control::max_allowed_parallelism, workers), arena(workers) {}
  tbb::global_control control;
  tbb::task_arena arena;
};

namespace {

// The arena of the worker limit in force, if any.
std::atomic<tbb::task_arena*> gLimitArena{nullptr};

// The library is built without ThreadSanitizer, which then cannot see that a task starts after
// the call that made it and that the call's wait orders the task before what follows; these say so.
void HandOver([[maybe_unused]] void* token) {
#if defined(__SANITIZE_THREAD__)
  __tsan_release(token);
#endif
}
void TakeOver([[maybe_unused]] void* token) {
#if defined(__SANITIZE_THREAD__)
  __tsan_acquire(token);
#endif
}

// Under a worker limit every call runs in the limit's arena, whichever thread makes it; a call
// from inside that arena runs at once.
template <typename Work>
void InPool(void* token, const Work& work) {
  HandOver(token);
  if (tbb::task_arena* arena = gLimitArena.load(std::memory_order_acquire)) {
    arena->execute(work);
  } else {
    work();
  }
  TakeOver(token);
}

// Any function of the task library, to find the library by.
const void* TaskLibraryAddress() {
  using Finalize = bool (*)(tbb::detail::d1::task_scheduler_handle&, std::intptr_t);
  return reinterpret_cast<const void*>(static_cast<Finalize>(&tbb::detail::r1::finalize));
}

}  // namespace

void ParallelFor(size_t begin, size_t end, size_t grain, RangeBody body) {
  if (end <= begin) return;
  char token = 0;
  InPool(&token, [&] {
    tbb::parallel_for(tbb::blocked_range<size_t>(begin, end, grain == 0 ? 1 : grain),
                      [&](const tbb::blocked_range<size_t>& range) {
                        TakeOver(&token);
                        body(range.begin(), range.end());
                        HandOver(&token);
                      });
  });
}

void ParallelInvoke(FunctionRef<void()> first, FunctionRef<void()> second) {
  char token = 0;
  auto run = [&token](FunctionRef<void()> work) {
    TakeOver(&token);
    work();
    HandOver(&token);
  };
  InPool(&token, [&] { tbb::parallel_invoke([&] { run(first); }, [&] { run(second); }); });
}

size_t WorkerCount() {
  if (tbb::task_arena* arena = gLimitArena.load(std::memory_order_acquire)) {
    return static_cast<size_t>(arena->max_concurrency());
  }
  const size_t allowed =
      tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism);
  const size_t arena = static_cast<size_t>(tbb::this_task_arena::max_concurrency());
  return std::max<size_t>(1, std::min(allowed, arena));
}

WorkerLimit::WorkerLimit(size_t workers)
    : state_(std::make_unique<State>(static_cast<int>(std::clamp<size_t>(workers, 1, 256)))) {
  gLimitArena.store(&state_->arena, std::memory_order_release);
}

WorkerLimit::~WorkerLimit() { gLimitArena.store(nullptr, std::memory_order_release); }

bool EndWorkers() {
  // A worker that is still leaving when the host unloads the module runs on in the task library,
  // so that library stays in memory for good, whatever happens below.
  const bool kept = KeepLoadedUntilExit(TaskLibraryAddress());
  tbb::task_scheduler_handle scheduler{tbb::attach{}};
  const bool ended = tbb::finalize(scheduler, std::nothrow);
  return kept && ended;
}

}  // namespace platform
