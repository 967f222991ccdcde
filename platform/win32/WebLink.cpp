#include "platform/WebLink.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Wide.h"

namespace platform {

// The shell's default action for the address: the user's browser. ShellExecuteW gives a value
// above 32 on success and an error number otherwise.
bool OpenWebAddress(std::u16string_view address) {
  if (address.empty()) return false;
  const std::wstring target = win32::WideText(address);
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
