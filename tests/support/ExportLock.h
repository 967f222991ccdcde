#pragma once

// The export's temporary link document has one name per user, so two exports at once refuse each
// other. Every test that exports holds this lock for as long as its export may run; tests of
// other suites wait for it rather than fail.
class ExportLock {
public:
  ExportLock();
  ~ExportLock();
  ExportLock(const ExportLock&) = delete;
  ExportLock& operator=(const ExportLock&) = delete;

private:
  int descriptor_ = -1;
};
