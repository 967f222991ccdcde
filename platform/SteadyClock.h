#pragma once

#include <chrono>

namespace platform {

// The monotonic clock that the product's timed rules read (the export's quiet time). A test may
// set the time instead, so that such a rule is checked at its exact boundary without waiting.
class SteadyClock {
public:
  using time_point = std::chrono::steady_clock::time_point;

  // The set time while one is set, else the system's monotonic clock. Safe from any thread.
  static time_point Now();
  // Until Reset, Now gives `time`; for tests.
  static void Set(time_point time);
  static void Reset();
};

}  // namespace platform
