#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

// What the stand-in host was asked to do on its command line.
struct HostOptions {
  std::string modulePath;     // the plug-in library; default: beside the host program
  std::string resourceFolder; // holds the plug-in's resource folder; default: beside the module
  int16_t hostVersion = 25;
  std::set<std::string> disabledServices;  // names from kServiceNames
  std::string userInterface = "headless";  // how the plug-in shows dialogs: headless or terminal
  std::string userInterfaceScript;         // answers for the headless interface
  bool showHelp = false;
};

// Names accepted by --without.
inline constexpr const char* kServiceNames[] = {
    "callback",  "sdk",        "registration",     "main-window", "partition",
    "notifications", "program-variables", "layers", "document", "scene-change",
    "status-messages", "view-pane-label", "view-description", "tools", "resources", "scripting",
};

// Nothing, with `error` set, when the command line cannot be used.
std::optional<HostOptions> ParseHostOptions(int argc, char** argv, std::string& error);
std::string HostUsage();
