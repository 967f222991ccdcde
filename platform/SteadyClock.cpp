#include "platform/SteadyClock.h"

#include <atomic>
#include <cstdint>
#include <limits>

namespace platform {
namespace {

constexpr int64_t kNotSet = std::numeric_limits<int64_t>::min();
// Nanoseconds since the clock's epoch.
std::atomic<int64_t> setTime{kNotSet};

}  // namespace

SteadyClock::time_point SteadyClock::Now() {
  const int64_t time = setTime.load(std::memory_order_acquire);
  if (time == kNotSet) return std::chrono::steady_clock::now();
  return time_point(std::chrono::duration_cast<time_point::duration>(std::chrono::nanoseconds(time)));
}

void SteadyClock::Set(time_point time) {
  setTime.store(std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count(),
                std::memory_order_release);
}

void SteadyClock::Reset() { setTime.store(kNotSet, std::memory_order_release); }

}  // namespace platform
