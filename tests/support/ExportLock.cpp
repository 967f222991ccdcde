#include "tests/support/ExportLock.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

ExportLock::ExportLock() {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "tidelink-export-e2e.lock";
  descriptor_ = open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor_ >= 0) flock(descriptor_, LOCK_EX);
}

ExportLock::~ExportLock() {
  if (descriptor_ >= 0) close(descriptor_);
}
