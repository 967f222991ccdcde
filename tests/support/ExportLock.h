#pragma once

#include "platform/SharedMemory.h"

// The export's temporary link document has one name per user, so two exports at once refuse each
// other. Every test that exports holds this lock for as long as its export may run; tests of
// other suites wait for it rather than fail. The lock is a named mapping: a creator that ends,
// even by a crash, frees the name.
class ExportLock {
public:
  ExportLock();
  ExportLock(const ExportLock&) = delete;
  ExportLock& operator=(const ExportLock&) = delete;

private:
  platform::SharedMemory held_;
};
