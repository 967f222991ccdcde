#include "link/BatchGate.h"

void BatchGate::Take() {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [this] { return !held_; });
  held_ = true;
}

bool BatchGate::TakeUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (!released_.wait_until(lock, deadline, [this] { return !held_; })) return false;
  held_ = true;
  return true;
}

void BatchGate::Release() {
  {
    std::lock_guard lock(mutex_);
    held_ = false;
  }
  released_.notify_one();
}
