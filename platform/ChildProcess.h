#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A program that the caller starts and owns: unlike LaunchProcess, the caller may read what it
// prints, wait for it with a bound, end it, and learns its exit status. For tests and tools; the
// module starts the renderer with LaunchProcess. A Win32 backend keeps the same contract with
// CreateProcessW (an inheritable pipe as standard output and error), WaitForSingleObject,
// GetExitCodeProcess and TerminateProcess.
namespace platform {

// The exit status of a program that did not end by itself (a POSIX signal, or Terminate).
inline constexpr int kExitStatusTerminated = -1;

class ChildProcess {
public:
  ChildProcess();
  // Ends a program that still runs (as Terminate) and releases it; no zombie is left.
  ~ChildProcess();
  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) noexcept;

  // Starts `executable` (a path, not searched for) with `arguments` (the program's own name not
  // included; each reaches it exactly as given), with the caller's environment and current
  // folder, and standard input from the null device. With `captureOutput` its standard output
  // goes to a pipe that ReadOutput reads, otherwise to the caller's; its standard error is the
  // caller's. False when it could not be started.
  static bool Start(std::u16string_view executable, const std::vector<std::u16string>& arguments,
                    bool captureOutput, ChildProcess& child);
  // Starts `executable` as Start does, with its standard output and standard error both written to
  // the file `outputFile` (created, or emptied when it exists) in the order the program writes
  // them, as a shell's "> file 2>&1" would. False when it could not be started or the file could
  // not be opened.
  static bool StartWithOutputFile(std::u16string_view executable, const std::vector<std::u16string>& arguments,
                                  std::u16string_view outputFile, ChildProcess& child);
  // Starts `commandLine` through the system's command interpreter (/bin/sh -c here, cmd.exe /c on
  // Windows); processId() is the interpreter's.
  static bool StartCommand(std::u16string_view commandLine, bool captureOutput, ChildProcess& child);

  // 0 when nothing was started.
  uint32_t processId() const;
  // Blocks for the next bytes it printed, up to `size`; 0 once its output has ended (or when it
  // is not captured). A caller that captures output reads it to the end before an unbounded
  // Wait, or the program may block on a full pipe. One thread may read while another waits for
  // the program or ends it.
  size_t ReadOutput(char* buffer, size_t size);
  // Waits at most `timeout` for the program to end: its exit status (0 to 255 here; the exit code
  // on Windows), or kExitStatusTerminated; nothing while it still runs or when nothing was
  // started. Once it has ended, every further call gives the same status.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Ends it at once, as a crash would (SIGKILL; TerminateProcess). False when it has already
  // ended or nothing was started.
  bool Terminate();

private:
  // Start and StartWithOutputFile: the output to a pipe, to `outputFile` (when not empty), or the
  // caller's.
  static bool Begin(std::u16string_view executable, const std::vector<std::u16string>& arguments, bool captureOutput,
                    std::u16string_view outputFile, ChildProcess& child);

  struct State;
  std::unique_ptr<State> state_;
};

// Asks any process of this user to end cleanly, as a logout would (SIGTERM; a Win32 backend posts
// WM_CLOSE to the process's top-level windows). False when there is no such process.
bool RequestProcessStop(uint32_t processId);
// Ends any process of this user at once (SIGKILL; TerminateProcess). False when there is no such
// process or it may not be ended.
bool KillProcess(uint32_t processId);

}  // namespace platform
