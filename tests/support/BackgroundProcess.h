#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/ChildProcess.h"

// A program run beside the test from a command line (CommandLine.h: no shell), whose standard
// output is read line by line unless the line sends it to a file. It is asked to stop when the
// object goes, unless it has ended by then.
class BackgroundProcess {
public:
  explicit BackgroundProcess(const std::string& commandLine);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // The next line it printed, without its line break (LF, or CR LF); empty at its end.
  std::string ReadLine();
  // Reads until a line starts with `prefix` and gives it; empty when the output ends first.
  std::string ReadLineStartingWith(const std::string& prefix);
  // Asks it to stop (if it still runs; ends it when it cannot be asked, or has not ended a minute
  // later), reads what it still prints and gives its exit status, -1 when it did not exit by
  // itself.
  int Stop();
  // Waits for it to end by itself, reading what it prints, and gives its exit status; -1 when it
  // did not exit normally or was still running after 15 minutes, when it is ended.
  int Wait();
  // Ends it at once, as a crash would.
  void Kill();
  // True once it has ended (or could not be started); never waits.
  bool HasEnded() { return process_.processId() == 0 || process_.Wait(std::chrono::milliseconds(0)).has_value(); }
  // The program's process id, 0 when it could not be started.
  uint32_t pid() const { return process_.processId(); }

private:
  void DrainOutput();
  // Waits at most `bound` for it to end (then ends it) while reading its output to the end.
  int WaitDraining(std::chrono::milliseconds bound);

  platform::ChildProcess process_;
  std::string pending_;  // read but not yet given out as a line
  bool ended_ = false;   // its output has ended
};
