#pragma once

#include <string>
#include <utility>
#include <vector>

// A command line as the tests write it, taken apart without a shell, so that the same line starts
// the same program on every platform: words split at spaces, where '...' or "..." keep spaces and
// the other quote (nothing escapes); leading NAME=value words, and an `env` before them, set the
// program's environment; `> FILE` sends its output and errors to FILE, and `2>&1` changes nothing
// more. A leading `exec` is dropped. On Windows a program that exists only with ".exe" added (as
// the build names "tidelink-host") gets it.
struct CommandLine {
  std::vector<std::pair<std::string, std::string>> environment;
  std::string program;
  std::vector<std::string> arguments;
  std::string outputFile;  // empty: the output is read by the test
};

// Nothing in `program` when the line names none, or ends in a `>` without a file.
CommandLine ParseCommandLine(const std::string& line);
