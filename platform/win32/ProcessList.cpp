#include "platform/ProcessList.h"

#include <windows.h>
#include <tlhelp32.h>

namespace platform {
namespace {

// Closes a snapshot or process handle when the scope ends.
struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// Calls `visit` for every process in a snapshot; false when none could be taken.
template <typename Visit>
bool ForEachProcessEntry(const Visit& visit) {
  const HandleCloser snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
  if (snapshot.handle == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.handle, &entry); more; more = Process32NextW(snapshot.handle, &entry)) {
    visit(entry);
  }
  return true;
}

}  // namespace

std::vector<uint32_t> EnumerateProcesses() {
  std::vector<uint32_t> processes;
  // Id 0 is the idle process, not one that could be opened.
  ForEachProcessEntry([&](const PROCESSENTRY32W& entry) {
    if (entry.th32ProcessID != 0) processes.push_back(entry.th32ProcessID);
  });
  return processes;
}

std::optional<std::u16string> GetProcessImagePath(uint32_t processId) {
  if (processId == 0) return std::nullopt;
  const HandleCloser process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId)};
  if (!process.handle) return std::nullopt;  // gone, or a process we may not look into
  // One that has ended stays openable while a handle to it is held, but has no program any more.
  if (WaitForSingleObject(process.handle, 0) != WAIT_TIMEOUT) return std::nullopt;
  // Long paths can exceed MAX_PATH; the buffer grows up to the longest path there is.
  for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
    std::u16string path(capacity, u'\0');
    DWORD length = capacity;
    if (QueryFullProcessImageNameW(process.handle, 0, reinterpret_cast<wchar_t*>(path.data()), &length)) {
      path.resize(length);
      return path;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  }
  return std::nullopt;
}

uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

uint32_t GetParentProcessId() {
  // Windows keeps the id of the creating process for good, so the snapshot gives the one at start.
  const DWORD self = ::GetCurrentProcessId();
  uint32_t parent = 0;
  ForEachProcessEntry([&](const PROCESSENTRY32W& entry) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  });
  return parent;
}

size_t CountProcessThreads() {
  const HandleCloser snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0)};
  if (snapshot.handle == INVALID_HANDLE_VALUE) return 1;  // the caller's, at least
  const DWORD self = ::GetCurrentProcessId();
  size_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.handle, &entry); more; more = Thread32Next(snapshot.handle, &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  return count;
}

bool IsProcessAlive(uint32_t processId) {
  if (processId == 0) return false;
  const HandleCloser process{OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)};
  // A process we may not open still exists; an id that names nothing is refused as a parameter.
  if (!process.handle) return GetLastError() == ERROR_ACCESS_DENIED;
  // An ended process stays openable while anybody holds a handle to it, as a zombie would.
  return WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT;
}

}  // namespace platform
