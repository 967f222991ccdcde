#include "platform/ModulePath.h"

#include <windows.h>

#include <vector>

#include "platform/win32/Wide.h"

namespace platform {
namespace {

// The full file name of the module that holds this code (the plug-in's DLL, or the program),
// in a buffer grown until the name fits: paths may be longer than MAX_PATH.
std::wstring ContainingFile() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&GetModuleFolder), &module)) {
    return {};
  }
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::u16string GetModuleFolder() {
  const std::wstring file = ContainingFile();
  const size_t separator = file.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  // A module at a drive's root keeps the separator: "C:" alone names the current folder there.
  const bool driveRoot = separator == 2 && file[1] == L':';
  return win32::Utf16Text(std::wstring_view(file).substr(0, driveRoot ? separator + 1 : separator));
}

}  // namespace platform
