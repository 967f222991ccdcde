#include "platform/WebLink.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

#include "platform/ProcessLaunch.h"
#include "platform/TextConversion.h"

namespace platform {
namespace {

constexpr std::string_view kOpenerName = "xdg-open";

std::optional<std::string> FindOpener() {
  const char* searchPath = std::getenv("PATH");
  if (!searchPath) return std::nullopt;
  const std::string_view folders = searchPath;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string_view::npos) end = folders.size();
    const std::string_view folder = folders.substr(start, end - start);
    // An empty entry means the current folder, which is no place to start programs from.
    if (!folder.empty()) {
      const std::string candidate = std::string(folder) + "/" + std::string(kOpenerName);
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

bool OpenWebAddress(std::u16string_view address) {
  const std::optional<std::string> opener = FindOpener();
  if (!opener) return false;
  const std::u16string commandLine = Utf16FromUtf8(kOpenerName) + u" " + QuoteArgument(address);
  return LaunchProcess(Utf16FromUtf8(*opener), commandLine, u"", kShowNormal);
}

}  // namespace platform
