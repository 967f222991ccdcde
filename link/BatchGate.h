#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A lock that one thread takes and any thread may release, held across calls: a batch of scene
// operations holds it from its begin to its end, and the export's finish takes it with a time
// limit so that a file is never written while a batch is filling the stores.
class BatchGate {
public:
  // Waits without limit.
  void Take();
  // False when the gate was still held at `deadline`.
  bool TakeUntil(std::chrono::steady_clock::time_point deadline);
  void Release();

private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
};
