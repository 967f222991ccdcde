#include "platform/ProcessLaunch.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/TextConversion.h"

extern char** environ;

namespace platform {
namespace {

constexpr std::string_view kShowStateVariable = "TIDELINK_SHOW_STATE=";

// The caller's environment with the show state in place of any inherited one.
std::vector<std::string> ChildEnvironment(int32_t showState) {
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable) {
    if (!std::string_view(*variable).starts_with(kShowStateVariable)) variables.emplace_back(*variable);
  }
  variables.push_back(std::string(kShowStateVariable) + std::to_string(showState));
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Runs in the forked child, so only async-signal-safe calls. Gives the errno that stopped it, to
// be written to `report`.
int StartProgram(const char* program, char* const* argv, char* const* envp, const char* directory,
                 int nullDevice, int& report) {
  setsid();
  // Standard descriptors may be closed in the caller, so the pipe can sit on 0..2; it moves out
  // of the way before they are set.
  if (report <= 2) {
    const int moved = fcntl(report, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) return errno;
    report = moved;
  }
  for (int standard = 0; standard <= 2; ++standard) {
    if (dup2(nullDevice, standard) < 0 || fcntl(standard, F_SETFD, 0) < 0) return errno;
  }
  // Everything else the caller holds closes at exec, the report pipe included.
  if (close_range(3, UINT_MAX, CLOSE_RANGE_CLOEXEC) != 0) return errno;
  if (directory[0] != '\0' && chdir(directory) != 0) return errno;
  execve(program, argv, envp);
  return errno;
}

}  // namespace

bool LaunchProcess(std::u16string_view executable, std::u16string_view commandLine,
                   std::u16string_view currentDirectory, int32_t showState) {
  std::string program = Utf8FromUtf16(executable);
  const std::string directory = Utf8FromUtf16(currentDirectory);
  // A relative program is found from the caller's folder, not from the child's.
  if (!program.empty() && program.front() != '/') {
    char here[PATH_MAX];
    if (!getcwd(here, sizeof(here))) return false;
    program = std::string(here) + "/" + program;
  }
  // Everything the child needs is made before the fork: a threaded caller's child may not allocate.
  std::vector<std::string> arguments;
  for (const std::u16string& argument : SplitCommandLine(commandLine)) arguments.push_back(Utf8FromUtf16(argument));
  if (arguments.empty()) arguments.push_back(program);
  std::vector<char*> argv = Pointers(arguments);
  std::vector<std::string> variables = ChildEnvironment(showState);
  std::vector<char*> envp = Pointers(variables);

  const int nullDevice = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (nullDevice < 0) return false;
  // The grandchild reports a failed start through this pipe; a clean close means it started.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    close(nullDevice);
    return false;
  }
  const pid_t child = fork();
  if (child == 0) {
    // The middle process exits at once, so the program is adopted by init and never a zombie.
    close(report[0]);
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      const int error = StartProgram(program.c_str(), argv.data(), envp.data(), directory.c_str(), nullDevice, report[1]);
      [[maybe_unused]] const ssize_t written = write(report[1], &error, sizeof(error));
      _exit(127);
    }
    // Its exit status tells whether there is a grandchild at all; the pipe alone would not.
    _exit(grandchild > 0 ? 0 : 1);
  }
  close(nullDevice);
  close(report[1]);
  bool started = false;
  if (child > 0) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t received;
    while ((received = read(report[0], &error, sizeof(error))) < 0 && errno == EINTR) {
    }
    started = WIFEXITED(status) && WEXITSTATUS(status) == 0 && received == 0;
  }
  close(report[0]);
  return started;
}

}  // namespace platform
