#include "tests/support/ExportLock.h"

#include <chrono>
#include <thread>

ExportLock::ExportLock() {
  // Another suite's export may run for minutes; there is nothing to be notified by, so the name is
  // tried again until it is free.
  while (platform::SharedMemory::Create(u"tidelink-export-e2e-lock", 1, held_) == platform::kErrorAlreadyExists) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
