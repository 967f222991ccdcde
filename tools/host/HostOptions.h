#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "tools/host/ModelDrawing.h"

// The active view the host reports, so that the plug-in's view checks can be reached.
enum class HostView {
  kPerspective,    // "ok": a design layer in perspective
  kSheetLayer,     // "sheet": a sheet layer is active
  kNoPerspective,  // "no-perspective": a design layer in a parallel projection
};

// What the host does once the module is loaded.
enum class HostCommand {
  kLifecycle,  // register, create and release every extension
  kExport,     // save the drawing as COLLADA through the plug-in's menu command
  kLink,       // start a live link from the tool, play an edit script, stop the link
  kCall,       // run one of the plug-in's script functions (e.g. its About or Settings dialog)
};

// The user interface of the system's own windows, with a real main window for the host.
inline constexpr const char* kWindowsInterface = "windows";

// How the link command ends the link once the drawing and the edits have been sent.
enum class LinkStop {
  kButton,    // the tool's stop button
  kScript,    // the script function TideLink_Stop
  kClose,     // the linked drawing is closed
  kSaveAs,    // the linked drawing is saved under another name
  kQuit,      // the application quits ('APSD')
  kRenderer,  // the renderer closes the link; the host waits for that
};

// What the stand-in host was asked to do on its command line.
struct HostOptions {
  HostCommand command = HostCommand::kLifecycle;
  std::string modulePath;     // the plug-in library; default: beside the host program
  std::string resourceFolder; // holds the plug-in's resource folder; default: beside the module
  int16_t hostVersion = 25;
  std::set<std::string> disabledServices;  // names from kServiceNames
  // How the plug-in shows dialogs: headless, terminal, or (Windows only) windows. Headless by
  // default on every platform, so that a run prints every box and answers from its script.
  std::string userInterface = "headless";
  std::string userInterfaceScript;         // answers for the headless interface
  bool showHelp = false;

  // The drawing the scene-change service sends, and how the stream ends.
  std::string drawingPath;  // a file Assimp reads; empty: the built-in sample
  uint32_t generatedTriangles = 0;  // above zero: the generated grid drawing of about this many triangles
  std::optional<UpAxis> upAxis;  // of the drawing's file; nothing: its metadata or its format decides
  bool listNames = false;        // print the names an edit script can use and exit
  bool viewReport = true;
  std::optional<uint64_t> cancelAfter;  // kind 4 after this many records
  bool endlessBatch = false;
  bool verboseStream = false;
  HostView view = HostView::kPerspective;
  std::string documentPath;  // the active drawing's file; empty: never saved

  // The export command.
  std::string exportPath;          // answer to the save dialog
  int exportCount = 1;             // exports in one host run
  bool viaScript = false;          // through a script function instead of the menu or the tool
  bool quitAfterStream = false;    // 'APSD' once the drawing has been sent
  int timeoutSeconds = 600;
  bool printTimings = false;
  // Where the plug-in records each message box it shows and its answer (filled in by the host).
  std::string messageRecordsPath;

  // The call command: the script function to run.
  std::string functionName;

  // The link command.
  std::string editsPath;           // the edit script; empty: no edits
  std::string expectedStatesPath;  // JSON lines of what the drawing holds after each step
  double linkSeconds = 0;          // how long the link runs after the drawing and the edits
  LinkStop stopWith = LinkStop::kButton;
  // Steps are played on the ticks' own schedule: no tick follows a step at once and waits go on
  // with the schedule, so each edit reaches the plug-in at some moment of the tick period.
  bool paced = false;
  std::string editLogPath;  // JSON lines: when the start was pressed and each edit handed over
};

// Names accepted by --without.
inline constexpr const char* kServiceNames[] = {
    "callback",  "sdk",        "registration",     "main-window", "partition",
    "notifications", "program-variables", "layers", "document", "scene-change",
    "status-messages", "view-pane-label", "view-description", "tools", "resources", "scripting",
};

// `text` as a whole number from `minimum` to `maximum`; nothing when it is not one.
std::optional<int> ParseWholeNumber(std::string_view text, int minimum, int maximum);
// `text` as a finite decimal number such as "-12.5" or "1e3"; nothing when it is not one.
std::optional<double> ParseDecimalNumber(std::string_view text);

// Nothing, with `error` set, when the command line cannot be used.
std::optional<HostOptions> ParseHostOptions(int argc, char** argv, std::string& error);
std::string HostUsage();
