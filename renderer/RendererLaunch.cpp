#include "renderer/RendererLaunch.h"

#include "platform/ProcessLaunch.h"
#include "renderer/UninstallEntries.h"

namespace {

constexpr size_t kCommandLineUnits = 32768;  // with the terminating zero
constexpr std::u16string_view kProgramName = u"Ombrel.exe";

}  // namespace

std::optional<std::u16string> RendererCommandLine(std::u16string_view executable, std::u16string_view documentPath,
                                                  uint32_t ssNumber) {
  std::u16string commandLine(1, u'"');
  commandLine += executable;
  commandLine += u'"';
  if (!documentPath.empty()) {
    // Quoted so that the renderer gets the path back whole, whatever quotes or backslashes it holds.
    commandLine += u' ';
    commandLine += platform::QuoteArgument(documentPath);
  } else if (ssNumber != kNoSsNumber) {
    // Unsigned, as the renderer reads it back; a signed form would turn numbers from 2^31 negative.
    const std::string number = std::to_string(ssNumber);
    commandLine += u" /ref:[TideLink] /ss:[";
    commandLine.append(number.begin(), number.end());
    commandLine += u']';
  }
  // A cut command line would start the renderer on a different document.
  if (commandLine.size() >= kCommandLineUnits) return std::nullopt;
  return commandLine;
}

bool LaunchRenderer(const RendererVersion& version, std::u16string_view documentPath, uint32_t ssNumber) {
  if (IsNone(version)) return false;  // would match entries without a readable version
  // The first matching entry decides, even when it has no install location.
  std::u16string location;
  ForEachRendererEntry([&](const platform::RegistryKey& entry, const RendererVersion& entryVersion) {
    if (!Equals(entryVersion, version)) return true;
    location = ReadStringValue(entry, u"InstallLocation");
    return false;
  });
  if (location.empty()) return false;
  // Joined as they are: the install location ends in the separator.
  const std::u16string executable = location + std::u16string(kProgramName);
  const std::optional<std::u16string> commandLine = RendererCommandLine(executable, documentPath, ssNumber);
  if (!commandLine) return false;
  return platform::LaunchProcess(executable, *commandLine, location, platform::kShowMaximized);
}
