#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>

// A program run beside the test through the shell, whose standard output is read line by line.
// It is stopped with SIGTERM when the object goes, unless it has ended by then.
class BackgroundProcess {
public:
  explicit BackgroundProcess(const std::string& commandLine);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // The next line it printed, without its line break; empty at its end.
  std::string ReadLine();
  // Reads until a line starts with `prefix` and gives it; empty when the output ends first.
  std::string ReadLineStartingWith(const std::string& prefix);
  // Stops it (if it still runs) and gives its exit status, -1 when it did not exit normally.
  int Stop();
  // Waits for it to end by itself and gives its exit status, -1 when it did not exit normally.
  int Wait();
  // The program's process id (the shell execs it), -1 once it has been waited for.
  pid_t pid() const { return pid_; }

private:
  FILE* output_ = nullptr;
  pid_t pid_ = -1;
};
