// tidelink-host: the stand-in CAD application that loads and drives the plug-in.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "sdk/MessageRecords.h"
#include "tools/host/ExportCommand.h"
#include "tools/host/HostConsole.h"
#include "tools/host/HostOptions.h"
#include "tools/host/LinkCommand.h"
#include "tools/host/StandInHost.h"

namespace {

std::filesystem::path ProgramFolder() {
  const auto image = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  return image ? std::filesystem::path(platform::Utf8FromUtf16(*image)).parent_path()
               : std::filesystem::current_path();
}

// The plug-in's user interface reads its kind and its scripted answers from the environment.
bool ChooseUserInterface(const HostOptions& options) {
  std::string script;
  if (!options.userInterfaceScript.empty()) {
    std::ifstream file(options.userInterfaceScript);
    if (!file) {
      std::fprintf(stderr, "tidelink-host: cannot read %s\n", options.userInterfaceScript.c_str());
      return false;
    }
    script.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  // Each export's save dialog is answered with the file to write.
  if (options.command == HostCommand::kExport) {
    for (int count = 0; count < options.exportCount; ++count) script += "\nsave " + options.exportPath;
  }
  return platform::WriteEnvironmentVariable("TIDELINK_UI", options.userInterface) &&
         platform::WriteEnvironmentVariable("TIDELINK_UI_SCRIPT", script) &&
         platform::WriteEnvironmentVariable(kMessageRecordsVariable, options.messageRecordsPath);
}

void FillDefaults(HostOptions& options) {
  if (options.modulePath.empty()) {
    options.modulePath = (ProgramFolder() / TIDELINK_MODULE_FILE_NAME).string();
  }
  if (!options.exportPath.empty()) options.exportPath = std::filesystem::absolute(options.exportPath).string();
  options.messageRecordsPath = (std::filesystem::temp_directory_path() /
                                ("tidelink-host-" + std::to_string(platform::GetCurrentProcessId()) + ".messages"))
                                   .string();
  if (options.resourceFolder.empty()) {
    options.resourceFolder = std::filesystem::path(options.modulePath).parent_path().string();
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<HostOptions> options = ParseHostOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "tidelink-host: %s\n", error.c_str());
    return 2;
  }
  if (options->showHelp) {
    std::fputs(HostUsage().c_str(), stdout);
    return 0;
  }
  FillDefaults(*options);
  if (!ChooseUserInterface(*options)) return 2;

  StandInHost host(*options);
  if (!host.LoadDrawing()) return 1;
  if (!host.LoadModule()) return 1;
  int result = 0;
  switch (options->command) {
    case HostCommand::kExport: result = RunExportCommand(host, *options); break;
    case HostCommand::kLink: result = RunLinkCommand(host, *options); break;
    case HostCommand::kLifecycle: result = host.RunExtensionLifecycle() ? 0 : 1; break;
  }
  const bool referencesReleased = host.UnloadModule();
  std::error_code ignored;
  std::filesystem::remove(options->messageRecordsPath, ignored);
  return result != 0 ? result : referencesReleased ? 0 : 1;
}
