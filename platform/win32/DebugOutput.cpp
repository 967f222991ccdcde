#include "platform/DebugOutput.h"

#include <windows.h>

#include <string>

#include "platform/Environment.h"
#include "platform/TextConversion.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

// A byte far past any log's end that every writer locks while it appends: a handle opened for
// appending alone puts each write at the end as a whole on Windows, but not under every
// implementation of the API (Wine seeks, then writes), and the lock makes the line whole for
// threads and processes alike.
constexpr DWORD kLockOffsetHigh = 0x40000000;

// Opened per call, so that a log moved away or removed is made again; never inherited by child
// processes.
void AppendToLog(const std::string& logPath, const std::string& bytes) {
  const std::wstring path = win32::WideText(Utf16FromUtf8(logPath));
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  OVERLAPPED lockPosition{};
  lockPosition.OffsetHigh = kLockOffsetHigh;
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockPosition)) {
    DWORD written = 0;
    LARGE_INTEGER end{};
    if (SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END)) {
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    UnlockFileEx(file, 0, 1, 0, &lockPosition);
  }
  CloseHandle(file);
}

}  // namespace

void OutputDebugText(std::u16string_view text) {
  if (text.empty()) return;
  // The debugger sees every line; the log, when asked for, gets the same UTF-8 bytes as on the
  // other platforms, for tests and for users without a debugger.
  OutputDebugStringW(win32::WideText(text).c_str());
  if (const std::optional<std::string> logPath = ReadEnvironmentVariable("TIDELINK_DEBUG_LOG");
      logPath && !logPath->empty()) {
    AppendToLog(*logPath, Utf8FromUtf16(text));
  }
}

}  // namespace platform
