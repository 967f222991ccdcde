#include "tools/host/HostOptions.h"

#include <charconv>
#include <string_view>

namespace {

bool IsServiceName(std::string_view name) {
  for (const char* known : kServiceNames) {
    if (name == known) return true;
  }
  return false;
}

}  // namespace

std::optional<HostOptions> ParseHostOptions(int argc, char** argv, std::string& error) {
  HostOptions options;
  for (int index = 1; index < argc; ++index) {
    const std::string_view argument = argv[index];
    const bool hasValue = index + 1 < argc;
    if (argument == "--help" || argument == "-h") {
      options.showHelp = true;
    } else if (argument == "--module" && hasValue) {
      options.modulePath = argv[++index];
    } else if (argument == "--resources" && hasValue) {
      options.resourceFolder = argv[++index];
    } else if (argument == "--host-version" && hasValue) {
      const std::string_view text = argv[++index];
      int value = 0;
      const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (status != std::errc() || end != text.data() + text.size() || value < 0 || value > 9999) {
        error = "--host-version needs a whole number from 0 to 9999, not \"" + std::string(text) + "\"";
        return std::nullopt;
      }
      options.hostVersion = static_cast<int16_t>(value);
    } else if (argument == "--ui" && hasValue) {
      options.userInterface = argv[++index];
      if (options.userInterface != "headless" && options.userInterface != "terminal") {
        error = "--ui is headless or terminal, not \"" + options.userInterface + "\"";
        return std::nullopt;
      }
    } else if (argument == "--ui-script" && hasValue) {
      options.userInterfaceScript = argv[++index];
    } else if (argument == "--without" && hasValue) {
      const std::string_view name = argv[++index];
      if (!IsServiceName(name)) {
        error = "--without: unknown service \"" + std::string(name) + "\" (see --help)";
        return std::nullopt;
      }
      options.disabledServices.emplace(name);
    } else {
      error = "unknown or incomplete option \"" + std::string(argument) + "\" (see --help)";
      return std::nullopt;
    }
  }
  return options;
}

std::string HostUsage() {
  std::string usage =
      "Usage: tidelink-host [options]\n"
      "\n"
      "Plays the CAD application for the plug-in: loads the module, offers the host services,\n"
      "registers the plug-in's extensions, creates and releases each one, and prints every event.\n"
      "\n"
      "Options:\n"
      "  --module PATH        plug-in library (default: OmbrelTideLinkForVectorworks.so beside\n"
      "                       this program)\n"
      "  --resources DIR      folder that holds the plug-in's resource folder (default: the\n"
      "                       module's folder)\n"
      "  --host-version N     host major version to report (default 25; others get the reduced\n"
      "                       plug-in)\n"
      "  --ui KIND            how the plug-in shows messages and dialogs: headless (answers from\n"
      "                       --ui-script, else the default button; everything is printed) or\n"
      "                       terminal (asks on this terminal); default headless\n"
      "  --ui-script FILE     answers for the headless interface, one per line, e.g.\n"
      "                       \"message yes\", \"dialog 1003 ok\", \"save /tmp/house.dae\"\n"
      "  --without SERVICE    do not offer SERVICE (repeatable); one of:\n"
      "                      ";
  for (const char* name : kServiceNames) {
    usage += ' ';
    usage += name;
  }
  usage += "\n  --help               show this text\n";
  return usage;
}
