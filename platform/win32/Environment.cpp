#include "platform/Environment.h"

#include <windows.h>

#include <vector>

#include "platform/TextConversion.h"
#include "platform/win32/Wide.h"

// The process environment block, read and written through the wide calls so that values keep
// every character; the C runtime's copy (getenv) is not consulted, it can lag behind.
namespace platform {

std::optional<std::string> ReadEnvironmentVariable(const char* name) {
  const std::wstring wideName = win32::WideText(Utf16FromUtf8(name));
  std::vector<wchar_t> buffer(256);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(),
                                                 static_cast<DWORD>(buffer.size()));
    // A set but empty variable also gives 0, with no error.
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    // Too small: the length given includes the terminating zero. The value may have grown
    // meanwhile, hence the loop.
    if (length >= buffer.size()) {
      buffer.resize(length);
      continue;
    }
    return Utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), length));
  }
}

bool WriteEnvironmentVariable(const char* name, const std::string& value) {
  const std::wstring wideName = win32::WideText(Utf16FromUtf8(name));
  const std::wstring wideValue = win32::WideText(Utf16FromUtf8(value));
  return SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str()) != 0;
}

bool RemoveEnvironmentVariable(const char* name) {
  const std::wstring wideName = win32::WideText(Utf16FromUtf8(name));
  // Removing a variable that is not set succeeds too.
  return SetEnvironmentVariableW(wideName.c_str(), nullptr) != 0 ||
         GetLastError() == ERROR_ENVVAR_NOT_FOUND;
}

}  // namespace platform
