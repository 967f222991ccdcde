#include "platform/SharedLibrary.h"

#include <windows.h>

#include <utility>

#include "platform/TextConversion.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

// The system's own message for the load failure, with its number, for the user and the log.
std::string LoadErrorText(const std::string& path, DWORD error) {
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
  std::u16string text = length ? win32::Utf16Text(std::wstring_view(message, length)) : u"";
  LocalFree(message);
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
  return "cannot load " + path + " (error " + std::to_string(error) + (text.empty() ? "" : ": ") +
         Utf8FromUtf16(text) + ")";
}

}  // namespace

SharedLibrary::SharedLibrary() = default;
SharedLibrary::~SharedLibrary() { Unload(); }

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

bool SharedLibrary::Load(const std::string& path, SharedLibrary& library, std::string& error) {
  const std::wstring widePath = win32::WideText(Utf16FromUtf8(path));
  // No error box for a missing dependency: the caller reports the failure itself.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  const HMODULE handle = LoadLibraryW(widePath.c_str());
  const DWORD loadError = GetLastError();
  SetThreadErrorMode(previousMode, nullptr);
  if (!handle) {
    error = LoadErrorText(path, loadError);
    return false;
  }
  library.Unload();
  library.handle_ = handle;
  return true;
}

void* SharedLibrary::FindSymbol(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void SharedLibrary::Unload() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(std::exchange(handle_, nullptr)));
}

bool KeepLoadedUntilExit(const void* address) {
  // Pinned: the module stays until the process ends, whatever FreeLibrary calls follow.
  HMODULE module = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            static_cast<LPCWSTR>(address), &module) != 0;
}

}  // namespace platform
