#include "platform/ProcessLaunch.h"

#include <windows.h>

namespace platform {

bool LaunchProcess(std::u16string_view executable, std::u16string_view commandLine,
                   std::u16string_view currentDirectory, int32_t showState) {
  // The command line reaches the program exactly as the caller quoted it; CreateProcessW may write
  // into its buffer, so it gets a copy of its own.
  std::u16string line(commandLine);
  const std::u16string program(executable);
  const std::u16string directory(currentDirectory);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION started{};
  // No handle is inherited and the child gets no console of ours: it starts as from the desktop.
  if (!CreateProcessW(reinterpret_cast<const wchar_t*>(program.c_str()),
                      line.empty() ? nullptr : reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, FALSE,
                      DETACHED_PROCESS, nullptr,
                      directory.empty() ? nullptr : reinterpret_cast<const wchar_t*>(directory.c_str()), &startup,
                      &started)) {
    return false;
  }
  // Nothing waits for the child: on Windows it leaves no zombie once our handles are closed.
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

}  // namespace platform
