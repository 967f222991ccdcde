#include "tools/renderer/RendererOptions.h"

#include <charconv>
#include <regex>
#include <string_view>

namespace {

template <class Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// One to four numbers; the plug-in reads the missing ones as 0.
bool IsVersion(const std::string& text) {
  static const std::regex version(R"(\d{1,9}(\.\d{1,9}){0,3})");
  return std::regex_match(text, version);
}

}  // namespace

std::optional<RendererOptions> ParseRendererOptions(int argc, char** argv, std::string& error) {
  RendererOptions options;
  for (int index = 1; index < argc; ++index) {
    const std::string_view argument = argv[index];
    const bool hasValue = index + 1 < argc;
    const auto fail = [&](const std::string& message) {
      error = message;
      return std::nullopt;
    };
    if (argument == "--help" || argument == "-h") {
      options.showHelp = true;
    } else if (argument == "--title" && hasValue) {
      options.title = argv[++index];
    } else if (argument == "--class" && hasValue) {
      options.windowClass = argv[++index];
    } else if (argument == "--seconds" && hasValue) {
      double seconds = 0;
      if (!ParseNumber(argv[++index], seconds) || !(seconds >= 0)) return fail("--seconds needs a number of seconds");
      options.seconds = seconds;
    } else if (argument == "--dump" && hasValue) {
      options.dumpPath = argv[++index];
    } else if (argument == "--snapshot" && hasValue) {
      options.snapshotPath = argv[++index];
    } else if (argument == "--history" && hasValue) {
      options.historyPath = argv[++index];
    } else if (argument == "--read-log" && hasValue) {
      options.readLogPath = argv[++index];
    } else if (argument == "--close-after" && hasValue) {
      uint32_t updates = 0;
      if (!ParseNumber(argv[++index], updates) || updates == 0) return fail("--close-after needs a number of updates from 1");
      options.closeAfter = updates;
    } else if (argument == "--quiet") {
      options.quiet = true;
    } else if (argument == "--install" && hasValue) {
      options.installFolder = argv[++index];
    } else if (argument == "--uninstall") {
      options.uninstall = true;
    } else if (argument == "--version" && hasValue) {
      options.installVersion = argv[++index];
      if (!IsVersion(options.installVersion)) {
        return fail("--version needs A.B.C.D, one to four numbers such as 12.0.1.157 or 12.0, not \"" +
                    options.installVersion + "\"");
      }
    } else if (argument == "/ref:[TideLink]") {
      options.linkReference = true;
    } else if (argument.starts_with("/ss:[") && argument.ends_with("]")) {
      uint32_t number = 0;
      if (!ParseNumber(argument.substr(5, argument.size() - 6), number)) return fail("/ss:[N] needs a number");
      options.ssNumber = number;
    } else if (argument.starts_with("/ref:") || argument.starts_with("/ss:")) {
      return fail("the launch reference is /ref:[TideLink] /ss:[N], not \"" + std::string(argument) + "\"");
    } else if (!argument.starts_with("-") && !argument.empty() && options.documentPath.empty()) {
      // Any other word is the document, an absolute path (which starts with the separator) too.
      options.documentPath = argument;
    } else {
      return fail("unknown or incomplete option \"" + std::string(argument) + "\" (see --help)");
    }
  }
  return options;
}

std::string RendererUsage() {
  return "Usage: Ombrel.exe [options] [DOCUMENT | /ref:[TideLink] /ss:[N]]\n"
         "\n"
         "Plays the real-time renderer for the live link: opens a message window, finds live link\n"
         "documents through the connection registry, and on every update message reads the shared\n"
         "memory and prints what it mirrors (surfaces, triangles, materials, textures, camera).\n"
         "\n"
         "Options:\n"
         "  --title TEXT         window title (default \"Ombrel\" and the version this copy is\n"
         "                       installed as, else \"Ombrel 12.0\"; the version is read from it)\n"
         "  --class TEXT         window class (default \"OmbrelStartWindow\")\n"
         "  --seconds N          run for N seconds (default: until interrupted)\n"
         "  --dump FILE.json     write a JSON summary of the mirrored scene after every update\n"
         "                       (with two links or more at once, the others' in FILE-2.json, ...)\n"
         "  --snapshot FILE.png  write a picture of the scene from the link's camera after every\n"
         "                       update (a default view when the link has no camera; the others'\n"
         "                       in FILE-2.png, ...)\n"
         "  --history FILE       append the JSON summary of every update that changed the drawing\n"
         "                       to FILE, one line each\n"
         "  --read-log FILE      append one JSON line per update: the header version read and the\n"
         "                       steady clock's nanoseconds when the update message came, the\n"
         "                       lock was taken and let go, and the read was done; the bytes\n"
         "                       copied and the mesh bytes of every surface read\n"
         "  --close-after N      close the link (header flag 2) after N updates\n"
         "  --quiet              print one line per update, without a line per surface\n"
         "  --install DIR        register as an installed renderer in DIR (copying this program\n"
         "                       there as Ombrel.exe when it is missing) and exit\n"
         "  --version A.B.C.D    version to register with --install (default 12.0.1.157); fewer\n"
         "                       numbers are allowed, the missing ones count as 0 (12.0 is 12.0.0.0)\n"
         "  --uninstall          remove the registration of the folder this program runs from\n"
         "                       (the program file stays) and exit\n"
         "  --help               show this text\n"
         "\n"
         "The plug-in starts the renderer with \"/ref:[TideLink] /ss:[N]\" or with a document path.\n"
         "Started so, without --dump or --snapshot, it keeps TideLink.json and TideLink.png up to\n"
         "date and appends to TideLink.history.jsonl in the folder OMBREL_OUTPUT_DIR names, else in\n"
         "its own folder.\n";
}
