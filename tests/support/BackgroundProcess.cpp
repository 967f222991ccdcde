#include "tests/support/BackgroundProcess.h"

#include <chrono>
#include <thread>
#include <utility>

#include "tests/support/TestEnvironment.h"

namespace {
constexpr std::chrono::hours kUnbounded{24};
// How long a program asked to stop may take before it is ended outright.
constexpr std::chrono::minutes kStopGrace{1};
// How long a test waits for a program to end by itself; a hung one fails the test, not the run.
constexpr std::chrono::minutes kLongestRun{15};
}

BackgroundProcess::BackgroundProcess(const std::string& commandLine) {
  const CommandLine command = ParseCommandLine(commandLine);
  // Output sent to a file of the line's own leaves nothing to read here.
  ended_ = command.program.empty() || !StartCommandLine(command, command.outputFile, process_) ||
           !command.outputFile.empty();
}

BackgroundProcess::~BackgroundProcess() { Stop(); }

void BackgroundProcess::DrainOutput() {
  char discarded[4096];
  while (!ended_) ended_ = process_.ReadOutput(discarded, sizeof(discarded)) == 0;
  pending_.clear();
}

int BackgroundProcess::Stop() {
  if (process_.processId() == 0) return -1;
  // A program that cannot be asked (on Windows: one without a window to close) is ended outright.
  if (!process_.Wait(std::chrono::milliseconds(0)) && !platform::RequestProcessStop(process_.processId())) {
    process_.Terminate();
  }
  return WaitDraining(kStopGrace);
}

int BackgroundProcess::Wait() {
  if (process_.processId() == 0) return -1;
  return WaitDraining(kLongestRun);
}

int BackgroundProcess::WaitDraining(std::chrono::milliseconds bound) {
  // Whatever it still prints is read beside the wait, so that a program blocked on a full pipe
  // can end.
  std::thread drain([this] { DrainOutput(); });
  if (!process_.Wait(bound)) process_.Terminate();
  const int status = process_.Wait(kUnbounded).value_or(-1);
  drain.join();
  return status;
}

void BackgroundProcess::Kill() { process_.Terminate(); }

std::string BackgroundProcess::ReadLine() {
  while (true) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      // A Windows program's text output ends its lines with CR LF.
      std::string line = pending_.substr(0, end > 0 && pending_[end - 1] == '\r' ? end - 1 : end);
      pending_.erase(0, end + 1);
      return line;
    }
    char buffer[4096];
    const size_t count = ended_ ? 0 : process_.ReadOutput(buffer, sizeof(buffer));
    if (count == 0) {
      ended_ = true;
      return std::exchange(pending_, {});
    }
    pending_.append(buffer, count);
  }
}

std::string BackgroundProcess::ReadLineStartingWith(const std::string& prefix) {
  while (!ended_ || !pending_.empty()) {
    const std::string line = ReadLine();
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return {};
}
