#include "platform/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "platform/TextConversion.h"

extern char** environ;

namespace platform {

struct ChildProcess::State {
  pid_t pid = -1;
  int processDescriptor = -1;  // readable once the child has ended
  int output = -1;
  std::optional<int> status;

  ~State() {
    if (output >= 0) close(output);
    if (processDescriptor >= 0) close(processDescriptor);
  }
};

namespace {

int StatusOf(int waitStatus) {
  return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : kExitStatusTerminated;
}

// Gives the child's id and, when captured, the read end of its output. With `outputFile` its
// output and errors go to that file instead.
bool Spawn(const std::string& program, std::vector<std::string> arguments, bool captureOutput,
           const std::string& outputFile, pid_t& pid, int& output) {
  int pipeEnds[2] = {-1, -1};
  if (captureOutput && pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (captureOutput) {
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  } else if (!outputFile.empty()) {
    // Opened here first, so that a file that cannot be written fails the start, not the child.
    const int file = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file < 0) {
      posix_spawn_file_actions_destroy(&actions);
      return false;
    }
    close(file);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (captureOutput) {
    close(pipeEnds[1]);
    output = pipeEnds[0];
  }
  if (error != 0) {
    pid = -1;
    return false;
  }
  return true;
}

bool Signal(uint32_t processId, int signal) {
  // 0 and ids beyond pid_t would address a process group, not one process.
  if (processId == 0 || processId > static_cast<uint32_t>(INT_MAX)) return false;
  return kill(static_cast<pid_t>(processId), signal) == 0;
}

}  // namespace

ChildProcess::ChildProcess() = default;

ChildProcess::~ChildProcess() {
  if (state_ && state_->pid > 0 && !state_->status) {
    Terminate();
    int waitStatus = 0;
    waitpid(state_->pid, &waitStatus, 0);
  }
}

ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    ChildProcess ended(std::move(*this));
    state_ = std::move(other.state_);
  }
  return *this;
}

bool ChildProcess::Begin(std::u16string_view executable, const std::vector<std::u16string>& arguments,
                         bool captureOutput, std::u16string_view outputFile, ChildProcess& child) {
  child = ChildProcess();
  auto state = std::make_unique<State>();
  const std::string program = Utf8FromUtf16(executable);
  std::vector<std::string> argv{program};
  for (const std::u16string& argument : arguments) argv.push_back(Utf8FromUtf16(argument));
  if (!Spawn(program, std::move(argv), captureOutput, Utf8FromUtf16(outputFile), state->pid, state->output)) {
    return false;
  }
  // Debian 12's <sys/pidfd.h> declares pidfd_open without C linkage, so the call is made directly.
  state->processDescriptor = static_cast<int>(syscall(SYS_pidfd_open, state->pid, 0));
  child.state_ = std::move(state);
  return true;
}

bool ChildProcess::StartCommand(std::u16string_view commandLine, bool captureOutput, ChildProcess& child) {
  return Start(u"/bin/sh", {u"-c", std::u16string(commandLine)}, captureOutput, child);
}

uint32_t ChildProcess::processId() const { return state_ && state_->pid > 0 ? static_cast<uint32_t>(state_->pid) : 0; }

size_t ChildProcess::ReadOutput(char* buffer, size_t size) {
  if (!state_ || state_->output < 0) return 0;
  while (true) {
    const ssize_t count = read(state_->output, buffer, size);
    if (count >= 0) return static_cast<size_t>(count);
    if (errno != EINTR) return 0;
  }
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (!state_ || state_->pid <= 0) return std::nullopt;
  if (state_->status) return state_->status;
  pollfd ended{state_->processDescriptor, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    int waitStatus = 0;
    const pid_t reaped = waitpid(state_->pid, &waitStatus, WNOHANG);
    if (reaped == state_->pid) {
      state_->status = StatusOf(waitStatus);
      return state_->status;
    }
    if (reaped < 0 && errno != EINTR) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    // Without a process descriptor (an old kernel) the wait falls back to short polls.
    if (ended.fd >= 0) {
      poll(&ended, 1, static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
    } else {
      poll(nullptr, 0, static_cast<int>(std::min<int64_t>(left.count(), 10)));
    }
  }
}

bool ChildProcess::Terminate() {
  if (!state_ || state_->pid <= 0 || state_->status) return false;
  return kill(state_->pid, SIGKILL) == 0;
}

bool RequestProcessStop(uint32_t processId) { return Signal(processId, SIGTERM); }

bool KillProcess(uint32_t processId) { return Signal(processId, SIGKILL); }

}  // namespace platform
