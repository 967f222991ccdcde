#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the stand-in renderer was asked to do on its command line.
struct RendererOptions {
  std::string title;  // empty: from the installation this program runs from
  std::string windowClass = "OmbrelStartWindow";
  std::optional<double> seconds;       // run time; until interrupted when absent
  std::string dumpPath;                // JSON summary, rewritten after every update
  std::string snapshotPath;            // PNG picture, rewritten after every update
  std::string historyPath;             // one JSON summary line appended per update
  std::string readLogPath;             // one line of read timings appended per update
  std::optional<uint32_t> closeAfter;  // close the link after this many updates
  bool quiet = false;                  // one line per update, without a line per surface
  std::string installFolder;           // register as installed there and exit
  std::string installVersion = "12.0.1.157";
  bool uninstall = false;              // remove the installation this program runs from and exit
  // The launch command line: a document to open, or a link reference with its ss number.
  std::string documentPath;
  bool linkReference = false;
  std::optional<uint32_t> ssNumber;
  bool showHelp = false;
};

// Nothing, with `error` set, when the command line cannot be used.
std::optional<RendererOptions> ParseRendererOptions(int argc, char** argv, std::string& error);
std::string RendererUsage();
