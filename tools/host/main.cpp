// tidelink-host: the stand-in CAD application that loads and drives the plug-in.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/ProgramArguments.h"
#include "platform/QuitSignal.h"
#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
#include "sdk/MessageRecords.h"
#include "tools/host/CallCommand.h"
#include "tools/host/ExportCommand.h"
#include "tools/host/HostConsole.h"
#include "tools/host/HostOptions.h"
#include "tools/host/LinkCommand.h"
#include "tools/host/StandInHost.h"

namespace {

std::filesystem::path ProgramFolder() {
  const auto image = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  return image ? std::filesystem::path(*image).parent_path() : std::filesystem::current_path();
}

// The plug-in's user interface reads its kind and its scripted answers from the environment.
bool ChooseUserInterface(const HostOptions& options) {
  std::string script;
  if (!options.userInterfaceScript.empty()) {
    std::ifstream file(platform::PathFromUtf8(options.userInterfaceScript));
    if (!file) {
      std::fprintf(stderr, "tidelink-host: --ui-script: cannot read %s\n", options.userInterfaceScript.c_str());
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

// The names an edit script uses for the drawing's instances, geometries and materials.
void PrintNames(const Drawing& drawing) {
  std::string instances = "instances:", geometries = "geometries:", materials = "materials:";
  const auto add = [](std::string& line, const std::string& name) {
    line += name.find(' ') == std::string::npos ? " " + name : " \"" + name + "\"";
  };
  for (const DrawingInstance& instance : drawing.instances) add(instances, instance.name);
  for (const DrawingGeometry& geometry : drawing.geometries) add(geometries, geometry.name);
  for (const DrawingMaterial& material : drawing.materials) add(materials, platform::Utf8FromUtf16(material.name));
  HostConsole::PrintLine(instances);
  HostConsole::PrintLine(geometries);
  HostConsole::PrintLine(materials);
}

void FillDefaults(HostOptions& options) {
  if (options.modulePath.empty()) {
    options.modulePath = platform::Utf8FromPath(ProgramFolder() / TIDELINK_MODULE_FILE_NAME);
  }
  if (!options.exportPath.empty()) {
    options.exportPath = platform::Utf8FromPath(std::filesystem::absolute(platform::PathFromUtf8(options.exportPath)));
  }
  options.messageRecordsPath = platform::Utf8FromPath(
      std::filesystem::temp_directory_path() /
      ("tidelink-host-" + std::to_string(platform::GetCurrentProcessId()) + ".messages"));
  if (options.resourceFolder.empty()) {
    options.resourceFolder = platform::Utf8FromPath(platform::PathFromUtf8(options.modulePath).parent_path());
  }
}

}  // namespace

int main(int argc, char** argv) {
  platform::ProgramArguments arguments(argc, argv);
  // Ctrl-C, termination and a closed terminal are answered as a user's quit, so that the plug-in
  // ends its link and leaves nothing behind.
  if (!platform::WatchQuitRequests()) std::fputs("tidelink-host: cannot watch for requests to quit\n", stderr);
  std::string error;
  std::optional<HostOptions> options = ParseHostOptions(arguments.count(), arguments.values(), error);
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
  if (options->listNames) {
    PrintNames(*host.sceneStream().drawing());
    return 0;
  }
  if (!host.LoadModule()) return 1;
  int result = 0;
  switch (options->command) {
    case HostCommand::kExport: result = RunExportCommand(host, *options); break;
    case HostCommand::kLink: result = RunLinkCommand(host, *options); break;
    case HostCommand::kLifecycle: result = host.RunExtensionLifecycle() ? 0 : 1; break;
    case HostCommand::kCall: result = RunCallCommand(host, *options); break;
  }
  // An application with a window stays open until its user closes it.
  if (host.mainWindow().handle()) HostConsole::PrintLine("close the main window to quit");
  host.mainWindow().WaitUntilClosed();
  const bool referencesReleased = host.UnloadModule();
  std::error_code ignored;
  std::filesystem::remove(platform::PathFromUtf8(options->messageRecordsPath), ignored);
  if (const std::optional<platform::QuitRequest> quit = platform::PendingQuitRequest()) return quit->exitStatus;
  return result != 0 ? result : referencesReleased ? 0 : 1;
}
