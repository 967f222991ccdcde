#include "tests/support/SharedRegistry.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The uninstall entries that no installer wrote.
std::vector<std::wstring> EntriesWithoutUninstaller() {
  std::vector<std::wstring> entries;
  HKEY list = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstall, 0, KEY_READ, &list) != ERROR_SUCCESS) return entries;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    const LONG found = RegEnumKeyExW(list, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (found == ERROR_NO_MORE_ITEMS) break;
    if (found != ERROR_SUCCESS) continue;
    if (RegGetValueW(list, name, L"UninstallString", RRF_RT_ANY, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      entries.emplace_back(name);
    }
  }
  RegCloseKey(list);
  return entries;
}

}  // namespace

void ClearSharedRegistry() {
  for (const wchar_t* key : {L"Software\\Brisca", L"Software\\\u00C4rger", L"Software\\Held", L"Software\\Private"}) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
  }
  for (const wchar_t* key : {L"Software\\Brisca", L"Test", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\UninstallExtra"}) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
  }
  for (const std::wstring& entry : EntriesWithoutUninstaller()) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstall) + L"\\" + entry).c_str());
  }
}
