#include "tools/renderer/LaunchOutputs.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"

namespace {

std::filesystem::path OutputFolder() {
  const std::optional<std::string> named = platform::ReadEnvironmentVariable("OMBREL_OUTPUT_DIR");
  if (named && !named->empty()) return platform::PathFromUtf8(*named);
  const auto image = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  return image ? std::filesystem::path(*image).parent_path() : std::filesystem::current_path();
}

std::filesystem::path LaunchLogPath() { return OutputFolder() / "TideLink.log"; }

}  // namespace

void ChooseLaunchOutputs(RendererOptions& options) {
  if (!options.linkReference || !options.dumpPath.empty() || !options.snapshotPath.empty()) return;
  const std::filesystem::path folder = OutputFolder();
  options.dumpPath = platform::Utf8FromPath(folder / "TideLink.json");
  options.snapshotPath = platform::Utf8FromPath(folder / "TideLink.png");
  if (options.historyPath.empty()) options.historyPath = platform::Utf8FromPath(folder / "TideLink.history.jsonl");
}

bool LaunchedForLink(int argc, char** argv) {
  for (int index = 1; index < argc; ++index) {
    if (std::string_view(argv[index]) == "/ref:[TideLink]") return true;
  }
  return false;
}

bool KeepErrorsInLaunchLog() {
  const std::string path = platform::Utf8FromPath(LaunchLogPath());
  // Tried first: a failed reopen would close the error output for good.
  std::FILE* probe = std::fopen(path.c_str(), "w");
  if (!probe) return false;
  std::fclose(probe);
  return std::freopen(path.c_str(), "w", stderr) != nullptr;
}

void RemoveLaunchLogIfEmpty() {
  std::fflush(stderr);
  std::error_code ignored;
  const std::filesystem::path path = LaunchLogPath();
  if (std::filesystem::file_size(path, ignored) == 0) std::filesystem::remove(path, ignored);
}
