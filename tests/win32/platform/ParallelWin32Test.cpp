// The task pool's threads come from a private Windows thread pool sized by the worker count: the
// workers really run side by side, even beyond the number of cores.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/Parallel.h"

namespace {

using namespace std::chrono_literals;

// Parts that each wait, at most a minute, until `count` of them run at once; true when they did.
bool AllRunAtOnce(size_t count) {
  std::mutex mutex;
  std::condition_variable changed;
  size_t running = 0;
  bool together = true;
  platform::ParallelFor(0, count, 1, [&](size_t begin, size_t end) {
    std::unique_lock lock(mutex);
    running += end - begin;
    changed.notify_all();
    together &= changed.wait_for(lock, 60s, [&] { return running >= count; });
  });
  return together;
}

TEST(ParallelWin32Test, EveryWorkerRunsAtOnceEvenBeyondTheCores) {
  for (size_t workers : {2, 6}) {
    const platform::WorkerLimit limit(workers);
    EXPECT_TRUE(AllRunAtOnce(workers)) << workers << " workers";
  }
}

TEST(ParallelWin32Test, APoolThreadRunsTheOtherHalfWhileTheCallerIsBusy) {
  const platform::WorkerLimit limit(2);
  std::mutex mutex;
  std::condition_variable changed;
  bool secondRan = false, seenByFirst = false;
  platform::ParallelInvoke(
      [&] {
        std::unique_lock lock(mutex);
        seenByFirst = changed.wait_for(lock, 60s, [&] { return secondRan; });
      },
      [&] {
        std::lock_guard lock(mutex);
        secondRan = true;
        changed.notify_all();
      });
  EXPECT_TRUE(seenByFirst) << "the second half waited for the caller instead of a worker";
  EXPECT_TRUE(platform::EndWorkers());
  EXPECT_TRUE(AllRunAtOnce(2)) << "the pool starts again after its workers were ended";
}

}  // namespace
