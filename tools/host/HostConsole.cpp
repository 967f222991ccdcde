#include "tools/host/HostConsole.h"

#include <cstdio>
#include <mutex>

#include "platform/TextConversion.h"

namespace HostConsole {
namespace {

std::mutex& consoleMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

void PrintLine(std::string_view line) {
  std::lock_guard lock(consoleMutex());
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintLine(std::u16string_view line) { PrintLine(platform::Utf8FromUtf16(line)); }

}  // namespace HostConsole
