#include "tools/host/HostOptions.h"

#include <charconv>
#include <cmath>
#include <utility>
#include <string_view>

#include "tools/host/ModelDrawing.h"

namespace {

// The value of `option`: a whole number from `minimum` to `maximum`, or nothing with `error` saying
// that the option needs `what` (e.g. "a whole number of seconds") in that range.
std::optional<int> WholeNumber(std::string_view option, std::string_view text, int minimum, int maximum,
                               std::string_view what, std::string& error) {
  const std::optional<int> value = ParseWholeNumber(text, minimum, maximum);
  if (!value) {
    error = std::string(option) + " needs " + std::string(what) + " from " + std::to_string(minimum) + " to " +
            std::to_string(maximum) + ", not \"" + std::string(text) + "\"";
  }
  return value;
}

std::optional<LinkStop> LinkStopNamed(std::string_view name) {
  static constexpr std::pair<std::string_view, LinkStop> kNames[] = {
      {"button", LinkStop::kButton}, {"script", LinkStop::kScript}, {"close", LinkStop::kClose},
      {"save-as", LinkStop::kSaveAs}, {"quit", LinkStop::kQuit},     {"renderer", LinkStop::kRenderer}};
  for (const auto& [known, stop] : kNames) {
    if (name == known) return stop;
  }
  return std::nullopt;
}

bool IsServiceName(std::string_view name) {
  for (const char* known : kServiceNames) {
    if (name == known) return true;
  }
  return false;
}

}  // namespace

std::optional<int> ParseWholeNumber(std::string_view text, int minimum, int maximum) {
  int value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size() || value < minimum || value > maximum) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> ParseDecimalNumber(std::string_view text) {
  double value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || status != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

namespace {

#ifdef _WIN32
constexpr bool kHasWindows = true;
#else
constexpr bool kHasWindows = false;
#endif

bool UserInterfaceAvailable(std::string_view kind) {
  return kind == "headless" || kind == "terminal" || (kHasWindows && kind == kWindowsInterface);
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
      const std::optional<int> value = WholeNumber(argument, argv[++index], 0, 9999, "a whole number", error);
      if (!value) return std::nullopt;
      options.hostVersion = static_cast<int16_t>(*value);
    } else if (argument == "export" && options.command == HostCommand::kLifecycle) {
      options.command = HostCommand::kExport;
      if (hasValue && argv[index + 1][0] != '-') options.drawingPath = argv[++index];
    } else if (argument == "call" && index == 1 && hasValue) {
      options.command = HostCommand::kCall;
      options.functionName = argv[++index];
    } else if (argument == "link" && index == 1) {
      options.command = HostCommand::kLink;
      if (hasValue && argv[index + 1][0] != '-') options.drawingPath = argv[++index];
    } else if (argument == "--edits" && hasValue) {
      options.editsPath = argv[++index];
    } else if (argument == "--paced") {
      options.paced = true;
    } else if (argument == "--edit-log" && hasValue) {
      options.editLogPath = argv[++index];
    } else if (argument == "--expected-states" && hasValue) {
      options.expectedStatesPath = argv[++index];
    } else if (argument == "--seconds" && hasValue) {
      const std::string_view text = argv[++index];
      const std::optional<double> value = ParseDecimalNumber(text);
      if (!value || *value < 0 || *value > 86400) {
        error = "--seconds needs a number of seconds from 0 to 86400, such as 2.5, not \"" + std::string(text) + "\"";
        return std::nullopt;
      }
      options.linkSeconds = *value;
    } else if (argument == "--stop-with" && hasValue) {
      const std::string_view name = argv[++index];
      const std::optional<LinkStop> stop = LinkStopNamed(name);
      if (!stop) {
        error = "--stop-with is button, script, close, save-as, quit or renderer, not \"" + std::string(name) + "\"";
        return std::nullopt;
      }
      options.stopWith = *stop;
    } else if (argument == "-o" && hasValue) {
      options.exportPath = argv[++index];
    } else if (argument == "--document" && hasValue) {
      options.documentPath = argv[++index];
    } else if (argument == "--repeat" && hasValue) {
      const std::optional<int> value = WholeNumber(argument, argv[++index], 1, 100, "a whole number", error);
      if (!value) return std::nullopt;
      options.exportCount = *value;
    } else if (argument == "--timeout" && hasValue) {
      const std::optional<int> value =
          WholeNumber(argument, argv[++index], 1, 86400, "a whole number of seconds", error);
      if (!value) return std::nullopt;
      options.timeoutSeconds = *value;
    } else if (argument == "--via-script") {
      options.viaScript = true;
    } else if (argument == "--quit-after-stream") {
      options.quitAfterStream = true;
    } else if (argument == "--timings") {
      options.printTimings = true;
    } else if (argument == "--ui" && hasValue) {
      options.userInterface = argv[++index];
      if (!UserInterfaceAvailable(options.userInterface)) {
        error = std::string("--ui is headless, terminal") + (kHasWindows ? " or windows" : "") + ", not \"" +
                options.userInterface + "\"";
        return std::nullopt;
      }
    } else if (argument == "--ui-script" && hasValue) {
      options.userInterfaceScript = argv[++index];
    } else if (argument == "--drawing" && hasValue) {
      options.drawingPath = argv[++index];
    } else if (argument == "--generated" && hasValue) {
      const std::optional<int> value = WholeNumber(argument, argv[++index], 20000, 20000000, "a number of triangles", error);
      if (!value) return std::nullopt;
      options.generatedTriangles = static_cast<uint32_t>(*value);
    } else if (argument == "--up-axis" && hasValue) {
      const std::string_view axis = argv[++index];
      if (axis != "y" && axis != "z") {
        error = "--up-axis is y or z, not \"" + std::string(axis) + "\"";
        return std::nullopt;
      }
      options.upAxis = axis == "y" ? UpAxis::kY : UpAxis::kZ;
    } else if (argument == "--names") {
      options.listNames = true;
    } else if (argument == "--no-view-report") {
      options.viewReport = false;
    } else if (argument == "--cancel-after" && hasValue) {
      const std::string_view text = argv[++index];
      uint64_t value = 0;
      const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (status != std::errc() || end != text.data() + text.size()) {
        error = "--cancel-after needs a whole number of records, not \"" + std::string(text) + "\"";
        return std::nullopt;
      }
      options.cancelAfter = value;
    } else if (argument == "--endless-batch") {
      options.endlessBatch = true;
    } else if (argument == "--verbose-stream") {
      options.verboseStream = true;
    } else if (argument == "--view" && hasValue) {
      const std::string_view view = argv[++index];
      if (view == "ok") {
        options.view = HostView::kPerspective;
      } else if (view == "sheet") {
        options.view = HostView::kSheetLayer;
      } else if (view == "no-perspective") {
        options.view = HostView::kNoPerspective;
      } else {
        error = "--view is ok, sheet or no-perspective, not \"" + std::string(view) + "\"";
        return std::nullopt;
      }
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
  if (options.command == HostCommand::kExport && options.exportPath.empty()) {
    error = "export needs the file to write: -o FILE.dae";
    return std::nullopt;
  }
  if (options.generatedTriangles > 0 && !options.drawingPath.empty()) {
    error = "--generated and a drawing file exclude each other: send one drawing";
    return std::nullopt;
  }
  return options;
}

std::string HostUsage() {
  std::string usage =
      "Usage: tidelink-host [options]\n"
      "       tidelink-host export [DRAWING] -o FILE.dae [options]\n"
      "       tidelink-host link [DRAWING] --document PATH [--edits FILE] [options]\n"
      "       tidelink-host call FUNCTION [options]\n"
      "\n"
      "Plays the CAD application for the plug-in: loads the module, offers the host services,\n"
      "registers the plug-in's extensions and prints every event. Without a command it creates\n"
      "and releases each extension. \"export\" chooses the plug-in's COLLADA menu command, answers\n"
      "its save dialog with FILE.dae, sends DRAWING (default: the built-in sample) and waits\n"
      "for the export to end; it exits 0 when the plug-in reported the export complete.\n"
      "\n"
      "Export options:\n"
      "  -o FILE.dae          the file to save (the textures go into FILE_Textures beside it)\n"
      "  --document PATH      the active drawing's own file, which names the offered file\n"
      "                       (default: a drawing never saved)\n"
      "  --repeat N           export N times in one run (default 1)\n"
      "  --via-script         run the script function TideLink_SaveAsCollada instead of the menu\n"
      "  --quit-after-stream  tell the plug-in the application quits ('APSD') once the drawing\n"
      "                       has been sent\n"
      "  --timeout SECONDS    give up (and quit the export) after this long (default 600)\n"
      "  --timings            print the time spent streaming, flushing, building and writing\n"
      "\n"
      "\"call\" runs one of the plug-in's script functions, such as TideLink_About or\n"
      "TideLink_Settings, and exits 0 when the plug-in has it.\n"
      "\n"
      "\"link\" activates the plug-in's tool, presses its start button, answers the plug-in's\n"
      "questions from --ui-script (e.g. \"message yes\" to start the renderer), sends DRAWING while\n"
      "the main thread ticks, plays the edit script, and ends the link; it prints every mode bar,\n"
      "status text, label and message, and exits 0 when the link started, a renderer read the\n"
      "drawing and the link ended as asked; without a renderer reading it, it says why and fails.\n"
      "Link options:\n"
      "  --document PATH      the active drawing's own file, which names the link (required: a\n"
      "                       drawing never saved cannot be linked)\n"
      "  --edits FILE         edit script played once the drawing is mirrored, one step a line:\n"
      "                         move INSTANCE DX DY DZ | rotate INSTANCE DEGREES | mirror INSTANCE\n"
      "                         materials INSTANCE MATERIAL... | remove INSTANCE\n"
      "                         add INSTANCE GEOMETRY X Y Z MATERIAL... | replace GEOMETRY WITH\n"
      "                         colour MATERIAL R G B | opacity MATERIAL A | touch MATERIAL\n"
      "                         texture MATERIAL FILE|none\n"
      "                         view EX EY EZ DX DY DZ UX UY UZ EXTENT FOCAL\n"
      "                         layer sheet|design | projection N\n"
      "                         switch FILE|back | save | save-as FILE | close\n"
      "                         button INDEX [CHOICE] | script FUNCTION | click ITEM | quit\n"
      "                         wait SECONDS\n"
      "                       names with spaces in double quotes; millimetres, degrees, 0 to 1.\n"
      "                       The sample's instances: lawn house plinth post window-1 window-2\n"
      "                       pool screen ramp mirrored-ramp; geometries: box quad wedge\n"
      "  --seconds N          keep the link running N seconds after the edits (default 0;\n"
      "                       fractions such as 2.5 too, as for the step wait)\n"
      "  --stop-with HOW      button (default), script, close, save-as, quit, or renderer (wait\n"
      "                       for the renderer to close the link)\n"
      "  --via-script         start with the script function TideLink_Start\n"
      "  --expected-states FILE  after the drawing and after each step, write one JSON line of\n"
      "                       what the host's drawing holds per material, the link and camera state\n"
      "  --timeout SECONDS    give up waiting for the plug-in after this long (default 600)\n"
      "  --paced              play the steps on the ticks' own schedule (every 50 ms): no tick\n"
      "                       follows a step at once, and waits go on with that schedule, so an\n"
      "                       edit reaches the plug-in at any moment of the tick period\n"
      "  --edit-log FILE      write JSON lines of the steady clock's nanoseconds: the tick period\n"
      "                       and when the start button was pressed, the drawing sent, and each\n"
      "                       edit handed to the plug-in\n"
      "\n"
      "Options:\n"
      "  --module PATH        plug-in library (default: " TIDELINK_MODULE_FILE_NAME " beside this\n"
      "                       program)\n"
      "  --resources DIR      folder that holds the plug-in's resource folder (default: the\n"
      "                       module's folder)\n"
      "  --host-version N     host major version to report (default 25; others get the reduced\n"
      "                       plug-in)\n"
      "  --ui KIND            how the plug-in shows messages and dialogs: headless (answers from\n"
      "                       --ui-script, else the default button; everything is printed),\n"
      "                       terminal (asks on this terminal), or on Windows windows (the\n"
      "                       system's own dialogs, owned by a main window the host opens);\n"
      "                       default headless\n"
      "  --ui-script FILE     answers for the headless interface, one per line, e.g.\n"
      "                       \"message yes\", \"dialog 1003 ok\", \"save /tmp/house.dae\"\n"
      "  --without SERVICE    do not offer SERVICE (repeatable); one of:\n"
      "                      ";
  for (const char* name : kServiceNames) {
    usage += ' ';
    usage += name;
  }
  usage +=
      "\n"
      "\n"
      "Drawing and scene stream (sent to each scene handler the plug-in registers, on a thread of\n"
      "its own, as batches of operations, then a view report):\n";
  usage += ModelImportAvailable()
               ? "  --drawing FILE       send FILE (any format Assimp reads: OBJ, glTF, FBX, DAE, PLY, STL,\n"
                 "                       3DS, ...), converted to millimetres with Z up; default: the built-in\n"
                 "                       sample drawing. Lengths in the file are taken as metres (FBX: as it\n"
                 "                       records). Its up axis is the one it records (FBX), else Z for STL and\n"
                 "                       PLY files (as CAD tools write them) and Y for every other format\n"
                 "  --up-axis y|z        the file's up axis, whatever it records or its format suggests\n"
               : "  --drawing FILE       not in this build: it was made without model import (Assimp), so\n"
                 "                       it sends only the built-in sample drawing and edit scripts\n";
  usage +=
      "  --generated N        send a generated drawing of about N triangles instead (20000 to\n"
      "                       20000000): 100 curved grids, the same numbers on every platform\n"
      "  --names              print the drawing's instance, geometry and material names (what an\n"
      "                       edit script names) and exit\n"
      "  --no-view-report     send no view report after the last batch\n"
      "  --cancel-after N     end the stream (kind 4) after N operations; with more than the\n"
      "                       drawing holds, kind 4 comes last\n"
      "  --endless-batch      leave the last batch open (no end record, no view report) until the\n"
      "                       handler unregisters\n"
      "  --view KIND          the active view: ok (a design layer in perspective, the default),\n"
      "                       sheet (a sheet layer) or no-perspective (a parallel projection)\n"
      "  --verbose-stream     print a line per batch sent\n"
      "  --help               show this text\n";
  return usage;
}
