#include "tests/support/BackgroundProcess.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

BackgroundProcess::BackgroundProcess(const std::string& commandLine) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    // exec, so that the signal reaches the program and not a shell around it.
    execl("/bin/sh", "sh", "-c", ("exec " + commandLine).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeEnds[1]);
  output_ = fdopen(pipeEnds[0], "r");
}

BackgroundProcess::~BackgroundProcess() { Stop(); }

int BackgroundProcess::Stop() {
  int status = 0;
  if (pid_ > 0) {
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGTERM);
      // Whatever it still prints is read, so that a program blocked on a full pipe can end.
      char discarded[4096];
      while (output_ && fread(discarded, 1, sizeof(discarded), output_) > 0) {
      }
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (output_) fclose(output_);
  output_ = nullptr;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int BackgroundProcess::Wait() {
  int status = 0;
  if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return -1;
}

std::string BackgroundProcess::ReadLine() {
  char line[4096];
  if (!output_ || !fgets(line, sizeof(line), output_)) return {};
  std::string text(line);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::string BackgroundProcess::ReadLineStartingWith(const std::string& prefix) {
  while (output_ && !feof(output_)) {
    const std::string line = ReadLine();
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return {};
}
