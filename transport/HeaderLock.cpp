#include "transport/HeaderLock.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/ProcessList.h"

namespace wire {
namespace {

bool TryLockHeader(std::atomic_ref<uint32_t> owner, uint32_t processId) {
  uint32_t holder = 0;
  if (owner.compare_exchange_strong(holder, processId) || holder == processId) return true;
  // A holder that died would otherwise keep both sides out for good.
  return !platform::IsProcessAlive(holder) && owner.compare_exchange_strong(holder, processId);
}

}  // namespace

bool LockHeader(HeaderRecord& header, uint32_t processId, uint32_t timeoutMicroseconds) {
  const std::atomic_ref<uint32_t> owner(header.lockOwner);
  if (TryLockHeader(owner, processId)) return true;
  if (timeoutMicroseconds == 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeoutMicroseconds);
  do {
    std::this_thread::yield();
    if (TryLockHeader(owner, processId)) return true;
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

void UnlockHeader(HeaderRecord& header, uint32_t processId) {
  uint32_t holder = processId;
  std::atomic_ref<uint32_t>(header.lockOwner).compare_exchange_strong(holder, 0, std::memory_order_release);
}

}  // namespace wire
