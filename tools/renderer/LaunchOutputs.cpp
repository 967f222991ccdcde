#include "tools/renderer/LaunchOutputs.h"

#include <filesystem>

#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"

namespace {

std::filesystem::path OutputFolder() {
  const std::optional<std::string> named = platform::ReadEnvironmentVariable("OMBREL_OUTPUT_DIR");
  if (named && !named->empty()) return *named;
  const auto image = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  return image ? std::filesystem::path(platform::Utf8FromUtf16(*image)).parent_path() : std::filesystem::current_path();
}

}  // namespace

void ChooseLaunchOutputs(RendererOptions& options) {
  if (!options.linkReference || !options.dumpPath.empty() || !options.snapshotPath.empty()) return;
  const std::filesystem::path folder = OutputFolder();
  options.dumpPath = (folder / "TideLink.json").string();
  options.snapshotPath = (folder / "TideLink.png").string();
  if (options.historyPath.empty()) options.historyPath = (folder / "TideLink.history.jsonl").string();
}
