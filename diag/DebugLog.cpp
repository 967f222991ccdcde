#include "diag/DebugLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/DebugOutput.h"
#include "platform/TextConversion.h"

namespace {

constexpr char kPrefix[] = "[BriscaLogger]: ";

}  // namespace

void DebugLog(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length < 0) {
    va_end(arguments);
    return;
  }

  std::string line(kPrefix);
  const size_t messageStart = line.size();
  line.resize(messageStart + static_cast<size_t>(length) + 1);
  std::vsnprintf(line.data() + messageStart, static_cast<size_t>(length) + 1, format, arguments);
  va_end(arguments);
  line.back() = '\n';  // replaces the terminating zero

  platform::OutputDebugText(platform::Utf16FromUtf8(line));
}
