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
  // One write per line, so that lines printed by the module on the same stream never split it.
  std::string whole(line);
  whole += '\n';
  std::lock_guard lock(consoleMutex());
  std::fwrite(whole.data(), 1, whole.size(), stdout);
  std::fflush(stdout);
}

void PrintLine(std::u16string_view line) { PrintLine(platform::Utf8FromUtf16(line)); }

}  // namespace HostConsole
