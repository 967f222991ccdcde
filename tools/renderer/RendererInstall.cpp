#include "tools/renderer/RendererInstall.h"

#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "platform/TextConversion.h"

namespace {

constexpr std::u16string_view kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// REG_SZ data is the UTF-16 text with its terminating zero.
int32_t SetString(platform::RegistryKey& key, std::u16string_view name, const std::u16string& text) {
  return key.SetValue(name, platform::REG_SZ, text.c_str(),
                      static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t)));
}

bool PlaceProgram(const std::filesystem::path& folder, std::string& error) {
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  const std::filesystem::path target = folder / "Ombrel.exe";
  if (std::filesystem::exists(target)) return true;
  const auto self = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  if (!self || !platform::CopyFile(*self, platform::Utf16FromUtf8(target.string()))) {
    error = "cannot place Ombrel.exe in " + folder.string();
    return false;
  }
  return true;
}

}  // namespace

bool InstallRenderer(const std::string& folder, const std::string& version, std::string& error) {
  const std::filesystem::path location = std::filesystem::absolute(folder);
  if (!PlaceProgram(location, error)) return false;

  const std::string major = version.substr(0, version.find('.'));
  const std::u16string entry = std::u16string(kUninstallKey) + u"\\" + platform::Utf16FromUtf8("Ombrel " + major);
  platform::RegistryKey key;
  if (platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, entry, key) != platform::kErrorSuccess) {
    error = "cannot write the uninstall entry (registry unavailable)";
    return false;
  }
  std::string installLocation = location.string();
  if (installLocation.back() != '/') installLocation += '/';
  const bool written = SetString(key, u"DisplayName", platform::Utf16FromUtf8("Ombrel " + major)) == 0 &&
                       SetString(key, u"DisplayVersion", platform::Utf16FromUtf8(version)) == 0 &&
                       SetString(key, u"InstallLocation", platform::Utf16FromUtf8(installLocation)) == 0;
  if (!written) error = "cannot write the uninstall entry's values";
  return written;
}
