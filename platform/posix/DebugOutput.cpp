#include "platform/DebugOutput.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/TextConversion.h"

namespace platform {

void OutputDebugText(std::u16string_view text) {
  const std::string bytes = Utf8FromUtf16(text);
  if (bytes.empty()) return;
  int descriptor = STDERR_FILENO;
  bool ownDescriptor = false;
  if (const char* logPath = std::getenv("TIDELINK_DEBUG_LOG"); logPath && *logPath) {
    // Opened per call so that a log moved away or removed is recreated, and never inherited.
    const int file = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (file >= 0) {
      descriptor = file;
      ownDescriptor = true;
    }
  }
  // One write, so that lines of concurrent threads and processes never interleave.
  ssize_t written;
  do {
    written = write(descriptor, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  if (ownDescriptor) close(descriptor);
}

}  // namespace platform
