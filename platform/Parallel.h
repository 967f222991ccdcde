#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/FunctionRef.h"

// Parallel work on the process's task pool: a loop over a range, two calls side by side, a
// reduction and a sort. What every call keeps, on every backend:
//
// - The call returns when all of its work has run. Everything the caller wrote before the call
//   is visible to the work, and everything the work wrote is visible to the caller afterwards.
// - Calls nest: work may itself make any of these calls. A thread that waits for its call's work
//   runs queued work of the pool meanwhile, so nesting never deadlocks, however deep it goes
//   and however many workers there are.
// - That waiting is the only moment a thread takes up other work. A body that makes none of these
//   calls runs from start to end with no other work on its thread, so per-thread scratch
//   (PerWorker below) may be held across such a body; it must not be held across a nested call.
// - An exception leaving a body stops the work that has not started; once the started work has
//   ended, the call rethrows one of the exceptions thrown.
// - Which thread runs which part, and how a loop is cut beyond its grain, may differ from run to
//   run. ParallelReduce's cuts and the order of its joins do not.
namespace platform {

// Body of a loop: one chunk [begin, end), called once per chunk rather than once per index so
// that the indirect call costs nothing next to the chunk's work.
using RangeBody = FunctionRef<void(size_t begin, size_t end)>;

// Calls `body` on disjoint chunks that together cover [begin, end) exactly once; nothing when the
// range is empty. A chunk of at most `grain` indices (0 counts as 1) is never cut further.
void ParallelFor(size_t begin, size_t end, size_t grain, RangeBody body);

// Runs `first` and `second`, possibly at the same time.
void ParallelInvoke(FunctionRef<void()> first, FunctionRef<void()> second);

// Folds [begin, end) into one value whose rounding does not depend on the number of workers: the
// range is halved (at begin + (end - begin) / 2) until a part holds at most `grain` indices, each
// part gives chunk(partBegin, partEnd, identity), and the two halves of every cut are combined as
// join(leftValue, rightValue). `identity` for an empty range.
template <typename Value, typename Chunk, typename Join>
Value ParallelReduce(size_t begin, size_t end, size_t grain, const Value& identity,
                     const Chunk& chunk, const Join& join) {
  if (end <= begin) return identity;
  if (end - begin <= std::max<size_t>(grain, 1)) return chunk(begin, end, identity);
  const size_t middle = begin + (end - begin) / 2;
  Value left = identity, right = identity;
  ParallelInvoke([&] { left = ParallelReduce(begin, middle, grain, identity, chunk, join); },
                 [&] { right = ParallelReduce(middle, end, grain, identity, chunk, join); });
  return join(left, right);
}

namespace detail {

constexpr ptrdiff_t kSerialSortElements = 2048;

template <typename Element, typename Less>
void ParallelSortPart(Element* first, Element* last, const Less& less, int depthLeft) {
  if (last - first <= kSerialSortElements || depthLeft == 0) {
    std::sort(first, last, less);
    return;
  }
  // The median of three as the pivot; elements equivalent to it go between the two parts, so each
  // part is smaller than the whole whatever the pivot.
  Element* middle = first + (last - first) / 2;
  Element* back = last - 1;
  if (less(*middle, *first)) std::swap(*middle, *first);
  if (less(*back, *middle)) std::swap(*back, *middle);
  if (less(*middle, *first)) std::swap(*middle, *first);
  const Element pivot = *middle;
  Element* lowerEnd = std::partition(first, last, [&](const Element& e) { return less(e, pivot); });
  Element* upperBegin =
      std::partition(lowerEnd, last, [&](const Element& e) { return !less(pivot, e); });
  ParallelInvoke([&] { ParallelSortPart(first, lowerEnd, less, depthLeft - 1); },
                 [&] { ParallelSortPart(upperBegin, last, less, depthLeft - 1); });
}

}  // namespace detail

// Sorts [first, last) by `less`, a strict weak order. Not stable; where no two distinct elements
// are equivalent the result is the one std::sort gives, whatever the number of workers.
template <typename Element, typename Less>
void ParallelSort(Element* first, Element* last, Less less) {
  const size_t count = static_cast<size_t>(last - first);
  // Past twice the depth of a balanced split the pivots are poor; the rest sorts on one thread.
  detail::ParallelSortPart(first, last, less, 2 * std::bit_width(count));
}

template <typename Element>
void ParallelSort(Element* first, Element* last) {
  ParallelSort(first, last, std::less<Element>());
}

// The most threads that a call made now may use, the caller's included; at least 1.
size_t WorkerCount();

// For tests: while it lives, parallel calls use exactly `workers` threads (at least 1), the
// caller's included, even beyond the number of cores, so that a result can be compared between
// one worker and many. Make and destroy it while no parallel call runs; one at a time.
class WorkerLimit {
public:
  explicit WorkerLimit(size_t workers);
  ~WorkerLimit();
  WorkerLimit(const WorkerLimit&) = delete;
  WorkerLimit& operator=(const WorkerLimit&) = delete;

private:
  struct State;
  std::unique_ptr<State> state_;
};

// Ends the pool's threads, for a module about to be unloaded: they must not run on in its code.
// Call it when no parallel call runs; a later call starts the pool again. False when a thread
// could not be ended, or where a thread still leaving may keep running code that could go away.
bool EndWorkers();

// One `Value` per thread that asks, made on its first call of Local() and kept until this object
// is destroyed: scratch that a body reuses from one piece of work to the next on its thread,
// within the rules above. Local() is safe from any thread; the values are never shared.
template <typename Value>
class PerWorker {
public:
  Value& Local() {
    std::lock_guard lock(mutex_);
    std::unique_ptr<Value>& slot = slots_[std::this_thread::get_id()];
    if (!slot) slot = std::make_unique<Value>();
    return *slot;
  }

private:
  std::mutex mutex_;
  std::unordered_map<std::thread::id, std::unique_ptr<Value>> slots_;
};

}  // namespace platform
