#pragma once

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/ChildProcess.h"
#include "tests/support/CommandLine.h"

// Gives each test its own scratch folder and points the registry, the runtime directory and the
// debug log into it, so that tests never see each other's state or the user's. The folder is
// removed afterwards. On Windows, where the registry is the system's (SharedRegistry.h), each test
// starts and ends with the keys of the project removed, and tests run one at a time.
class TestEnvironment : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& scratch() const { return scratch_; }
  std::filesystem::path registryPath() const { return scratch_ / "registry.sqlite"; }
  std::filesystem::path debugLogPath() const { return scratch_ / "debug.log"; }
  // Folder of the built programs and the module.
  static std::filesystem::path binaryDirectory();
  static std::string ReadFile(const std::filesystem::path& path);
  // A file or folder name in Greek and Chinese letters, which no narrow code page of Windows holds
  // together, and no Latin-1 text holds at all.
  static std::filesystem::path NonLatinName();
  // A process that lives on while the test runs and is not the test's own: the parent when it is
  // alive (under Wine the parent of a program started from the Linux side is no Windows process).
  static uint32_t AnotherLivingProcess();

private:
  std::filesystem::path scratch_;
};

// Sets an environment variable of the test process (and of the programs it starts from now on) for
// the object's lifetime, then gives it back its earlier value or removes it. Nothing when `value`
// is nothing: the variable is removed for the lifetime.
class ScopedEnvironment {
public:
  ScopedEnvironment(const char* name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Runs a command line (CommandLine.h: no shell) and returns its exit status (-1 when it did not
// exit by itself or could not be started) and everything it printed on standard output and error,
// unless the line sends that to a file of its own. Lines end in LF, whatever the system printed.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& commandLine);

// Starts the command with its environment words set, its output and errors going to `outputFile`
// or, when that is empty, its output to a pipe that `process` reads.
bool StartCommandLine(const CommandLine& command, const std::filesystem::path& outputFile,
                      platform::ChildProcess& process);

// The errors the system gives for opening a directory as a file to write (POSIX names the
// directory, Windows refuses access to it) and for a path through a regular file (Windows finds
// no such path).
#ifdef _WIN32
inline constexpr int kErrorOpeningADirectory = EACCES;
inline constexpr int kErrorPathThroughAFile = ENOENT;
#else
inline constexpr int kErrorOpeningADirectory = EISDIR;
inline constexpr int kErrorPathThroughAFile = ENOTDIR;
#endif
