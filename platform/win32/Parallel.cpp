// The task pool on the Windows thread pool. A private pool lends the worker threads; the parts of
// every call wait in one queue of our own, so that a caller waiting for its parts runs queued
// parts itself, which is what lets calls nest without deadlock however few workers there are.
#include "platform/Parallel.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <exception>

namespace platform {
namespace {

// One call's parts: all but the first, which the caller runs, wait in the queue.
struct Group {
  FunctionRef<void(size_t)> part;
  size_t unfinished;  // queued or running parts, the caller's own not counted
  bool cancelled = false;
  std::exception_ptr error;
};

struct Task {
  Group* group;
  size_t index;
};

class TaskPool {
public:
  static TaskPool& Instance() {
    // Never destroyed: pool threads may still be leaving when the process ends.
    static TaskPool* pool = new TaskPool;
    return *pool;
  }

  // Runs part(0) .. part(count - 1) and returns when all have ended; rethrows one of their errors.
  void Run(size_t count, FunctionRef<void(size_t)> part) {
    Group group{part, count - 1, false, nullptr};
    {
      std::lock_guard lock(mutex_);
      for (size_t index = 1; index < count; ++index) queue_.push_back({&group, index});
      CallHelpers();
    }
    std::exception_ptr ownError;
    try {
      part(0);
    } catch (...) {
      ownError = std::current_exception();
    }
    std::unique_lock lock(mutex_);
    if (ownError) Fail(group, ownError);
    // The newest parts are most likely this call's own; the pool's threads take the oldest.
    while (group.unfinished > 0) {
      if (queue_.empty()) {
        changed_.wait(lock);
        continue;
      }
      const Task task = queue_.back();
      queue_.pop_back();
      RunTask(task, lock);
    }
    if (group.error) std::rethrow_exception(group.error);
  }

  size_t Workers() {
    std::lock_guard lock(mutex_);
    return workers_;
  }

  // The workers before the change.
  size_t SetWorkers(size_t workers) {
    std::lock_guard lock(mutex_);
    const size_t previous = workers_;
    workers_ = workers;
    if (pool_) SizePool(previous - 1);
    return previous;
  }

  bool End() {
    PTP_WORK work = nullptr;
    PTP_POOL pool = nullptr;
    {
      std::lock_guard lock(mutex_);
      std::swap(work, work_);
      std::swap(pool, pool_);
    }
    // Once the callbacks have returned, the pool's threads run only system code.
    if (work) {
      WaitForThreadpoolWorkCallbacks(work, FALSE);
      CloseThreadpoolWork(work);
    }
    if (pool) CloseThreadpool(pool);
    return true;
  }

private:
  TaskPool() : workers_(std::max<size_t>(1, std::thread::hardware_concurrency())) {}

  static void CALLBACK Serve(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK) {
    auto& pool = *static_cast<TaskPool*>(context);
    std::unique_lock lock(pool.mutex_);
    while (!pool.queue_.empty()) {
      const Task task = pool.queue_.front();
      pool.queue_.pop_front();
      pool.RunTask(task, lock);
    }
    --pool.serving_;
  }

  // Called with the lock held; runs the part without it.
  void RunTask(const Task& task, std::unique_lock<std::mutex>& lock) {
    Group& group = *task.group;
    if (!group.cancelled) {
      lock.unlock();
      std::exception_ptr error;
      try {
        group.part(task.index);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      if (error) Fail(group, error);
    }
    if (--group.unfinished == 0) changed_.notify_all();
  }

  // Parts that have not started are skipped; the first error is the one the caller sees.
  static void Fail(Group& group, std::exception_ptr error) {
    group.cancelled = true;
    if (!group.error) group.error = std::move(error);
  }

  // Called with the lock held: wakes waiting callers and asks the pool for threads, one per
  // queued part up to the workers beside the caller.
  void CallHelpers() {
    changed_.notify_all();
    const size_t helpers = workers_ - 1;
    if (helpers == 0 || !EnsurePool()) return;
    while (serving_ < helpers && serving_ < queue_.size()) {
      SubmitThreadpoolWork(work_);
      ++serving_;
    }
  }

  bool EnsurePool() {
    if (pool_) return true;
    pool_ = CreateThreadpool(nullptr);
    if (!pool_) return false;
    SizePool(0);
    TP_CALLBACK_ENVIRON environment;
    InitializeThreadpoolEnvironment(&environment);
    SetThreadpoolCallbackPool(&environment, pool_);
    work_ = CreateThreadpoolWork(Serve, this, &environment);
    DestroyThreadpoolEnvironment(&environment);
    if (!work_) {
      CloseThreadpool(pool_);
      pool_ = nullptr;
    }
    return work_ != nullptr;
  }

  // Keeps exactly the helper threads alive, so that every one is at hand at once; the bounds move
  // in the order that never puts the minimum above the maximum.
  void SizePool(size_t previousHelpers) {
    const DWORD helpers = static_cast<DWORD>(std::max<size_t>(workers_ - 1, 1));
    if (helpers >= previousHelpers) {
      SetThreadpoolThreadMaximum(pool_, helpers);
      SetThreadpoolThreadMinimum(pool_, helpers);
    } else {
      SetThreadpoolThreadMinimum(pool_, helpers);
      SetThreadpoolThreadMaximum(pool_, helpers);
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;  // a part was queued or a call's parts have ended
  std::deque<Task> queue_;
  size_t workers_;       // the caller included
  size_t serving_ = 0;   // callbacks submitted and not yet returned
  PTP_POOL pool_ = nullptr;
  PTP_WORK work_ = nullptr;
};

}  // namespace

struct WorkerLimit::State {
  size_t previousWorkers;
};

void ParallelFor(size_t begin, size_t end, size_t grain, RangeBody body) {
  if (end <= begin) return;
  const size_t count = end - begin;
  const size_t workers = WorkerCount();
  // A few chunks per worker balance uneven work; none is cut below the grain.
  const size_t chunks = workers == 1 ? 1 : std::clamp<size_t>(count / std::max<size_t>(grain, 1), 1, 4 * workers);
  const size_t size = count / chunks, longer = count % chunks;
  const auto chunkBegin = [&](size_t chunk) { return begin + chunk * size + std::min(chunk, longer); };
  if (chunks == 1) {
    body(begin, end);
    return;
  }
  TaskPool::Instance().Run(chunks, [&](size_t chunk) { body(chunkBegin(chunk), chunkBegin(chunk + 1)); });
}

void ParallelInvoke(FunctionRef<void()> first, FunctionRef<void()> second) {
  TaskPool::Instance().Run(2, [&](size_t part) { part == 0 ? first() : second(); });
}

size_t WorkerCount() { return TaskPool::Instance().Workers(); }

WorkerLimit::WorkerLimit(size_t workers)
    : state_(std::make_unique<State>(State{TaskPool::Instance().SetWorkers(std::clamp<size_t>(workers, 1, 256))})) {}

WorkerLimit::~WorkerLimit() { TaskPool::Instance().SetWorkers(state_->previousWorkers); }

bool EndWorkers() { return TaskPool::Instance().End(); }

}  // namespace platform
