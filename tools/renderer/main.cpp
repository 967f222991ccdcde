// Ombrel.exe: the stand-in renderer that mirrors live link documents.

#include <atomic>
#include <csignal>
#include <cstdio>

#include "platform/ProgramArguments.h"
#include "tools/renderer/LaunchOutputs.h"
#include "tools/renderer/RendererInstall.h"
#include "tools/renderer/RendererOptions.h"
#include "tools/renderer/RendererSession.h"

namespace {

std::atomic<bool> gStop{false};

void RequestStop(int) { gStop = true; }

int Run(int argc, char** argv) {
  std::string error;
  std::optional<RendererOptions> options = ParseRendererOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "Ombrel.exe: %s\n", error.c_str());
    return 2;
  }
  if (options->showHelp) {
    std::fputs(RendererUsage().c_str(), stdout);
    return 0;
  }
  if (!options->installFolder.empty()) {
    if (!InstallRenderer(options->installFolder, options->installVersion, error)) {
      std::fprintf(stderr, "Ombrel.exe: %s\n", error.c_str());
      return 1;
    }
    std::printf("registered Ombrel %s as installed in %s\n", options->installVersion.c_str(),
                options->installFolder.c_str());
    return 0;
  }
  if (options->uninstall) {
    if (!UninstallRenderer(error)) {
      std::fprintf(stderr, "Ombrel.exe: %s\n", error.c_str());
      return 1;
    }
    std::printf("removed the registration of this installation\n");
    return 0;
  }
  if (options->title.empty()) options->title = InstalledTitle();
  ChooseLaunchOutputs(*options);
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  return RendererSession(*options).Run(gStop);
}

}  // namespace

int main(int argc, char** argv) {
  // Started by the plug-in, the renderer has no error output anyone reads: why it could not start
  // goes to the launch log instead, and the log goes again when there was nothing to say.
  platform::ProgramArguments arguments(argc, argv);
  const bool launchLog = LaunchedForLink(arguments.count(), arguments.values()) && KeepErrorsInLaunchLog();
  const int code = Run(arguments.count(), arguments.values());
  if (launchLog) RemoveLaunchLogIfEmpty();
  return code;
}
