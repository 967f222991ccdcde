#include "platform/ProcessLaunch.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/TextConversion.h"

namespace platform {

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
  std::vector<std::u16string> arguments;
  size_t position = 0;
  const size_t length = commandLine.size();
  for (;;) {
    while (position < length && (commandLine[position] == u' ' || commandLine[position] == u'\t')) ++position;
    if (position == length) return arguments;
    std::u16string argument;
    bool quoted = false;
    while (position < length) {
      const char16_t character = commandLine[position];
      if (!quoted && (character == u' ' || character == u'\t')) break;
      if (character == u'\\') {
        size_t backslashes = 0;
        while (position < length && commandLine[position] == u'\\') {
          ++backslashes;
          ++position;
        }
        // Backslashes are literal unless they stand before a quote: then pairs give one backslash
        // each and an odd one escapes the quote.
        if (position < length && commandLine[position] == u'"') {
          argument.append(backslashes / 2, u'\\');
          if (backslashes % 2 == 1) {
            argument += u'"';
            ++position;
          }
        } else {
          argument.append(backslashes, u'\\');
        }
        continue;
      }
      if (character == u'"') {
        // Inside quotes, a doubled quote is one literal quote.
        if (quoted && position + 1 < length && commandLine[position + 1] == u'"') {
          argument += u'"';
          position += 2;
          continue;
        }
        quoted = !quoted;
        ++position;
        continue;
      }
      argument += character;
      ++position;
    }
    arguments.push_back(std::move(argument));
  }
}

bool CreateProcess(std::u16string_view executable, std::u16string_view commandLine,
                   std::u16string_view currentDirectory) {
  const std::string program = Utf8FromUtf16(executable);
  const std::string directory = Utf8FromUtf16(currentDirectory);
  std::vector<std::string> arguments;
  for (const std::u16string& argument : SplitCommandLine(commandLine)) arguments.push_back(Utf8FromUtf16(argument));
  if (arguments.empty()) arguments.push_back(program);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a clean close means it started.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    // The middle process exits at once, so the program is adopted by init and never a zombie.
    close(report[0]);
    if (fork() == 0) {
      setsid();
      int error = 0;
      if (!directory.empty() && chdir(directory.c_str()) != 0) {
        error = errno;
      } else {
        execv(program.c_str(), argv.data());
        error = errno;
      }
      [[maybe_unused]] const ssize_t written = write(report[1], &error, sizeof(error));
      _exit(127);
    }
    _exit(0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t received;
  while ((received = read(report[0], &error, sizeof(error))) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return received == 0;
}

}  // namespace platform
