#include "platform/ProcessList.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <unistd.h>

#include "platform/TextConversion.h"

namespace platform {

std::vector<uint32_t> EnumerateProcesses() {
  std::vector<uint32_t> processes;
  DIR* directory = opendir("/proc");
  if (!directory) return processes;
  // Only the numeric entries are processes; /proc lists each thread group once.
  while (const dirent* entry = readdir(directory)) {
    uint64_t id = 0;
    const char* character = entry->d_name;
    for (; *character >= '0' && *character <= '9' && id <= UINT32_MAX; ++character) {
      id = id * 10 + static_cast<uint64_t>(*character - '0');
    }
    if (*character == '\0' && character != entry->d_name && id > 0 && id <= UINT32_MAX) {
      processes.push_back(static_cast<uint32_t>(id));
    }
  }
  closedir(directory);
  return processes;
}

std::optional<std::u16string> GetProcessImagePath(uint32_t processId) {
  if (processId == 0) return std::nullopt;
  const std::string link = "/proc/" + std::to_string(processId) + "/exe";
  // readlink does not say how long the target is, so grow until it fits with room to spare.
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = readlink(link.c_str(), target.data(), target.size());
    if (length < 0) return std::nullopt;  // gone, kernel thread, or another user's process
    if (static_cast<size_t>(length) < target.size()) {
      target.resize(static_cast<size_t>(length));
      return Utf16FromUtf8(target);
    }
    target.resize(target.size() * 2);
  }
}

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint32_t GetParentProcessId() { return static_cast<uint32_t>(getppid()); }

size_t CountProcessThreads() {
  std::error_code error;
  size_t count = 0;
  for (std::filesystem::directory_iterator task("/proc/self/task", error), end; !error && task != end; task.increment(error)) {
    ++count;
  }
  return count;
}

namespace {

// A zombie has ended and only waits for its parent to reap it; it holds nothing any more.
bool HasEnded(uint32_t processId) {
  std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The state follows the command name, which may itself hold parentheses and spaces.
  const size_t commandEnd = content.rfind(')');
  if (commandEnd == std::string::npos || commandEnd + 2 >= content.size()) return false;
  const char state = content[commandEnd + 2];
  return state == 'Z' || state == 'X';
}

}  // namespace

bool IsProcessAlive(uint32_t processId) {
  // 0 and ids beyond pid_t would address a process group through kill, not one process.
  if (processId == 0 || processId > static_cast<uint32_t>(INT_MAX)) return false;
  // A process we may not signal still exists.
  const bool exists = kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
  return exists && !HasEnded(processId);
}

}  // namespace platform
