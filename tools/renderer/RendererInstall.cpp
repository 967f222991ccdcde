#include "tools/renderer/RendererInstall.h"

#include <filesystem>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"

namespace {

constexpr std::u16string_view kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// REG_SZ data is the UTF-16 text with its terminating zero.
int32_t SetString(platform::RegistryKey& key, std::u16string_view name, const std::u16string& text) {
  return key.SetValue(name, platform::kRegistryString, text.c_str(),
                      static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t)));
}

std::u16string GetString(const platform::RegistryKey& key, std::u16string_view name) {
  uint32_t type = 0, size = 0;
  if (key.QueryValue(name, &type, nullptr, &size) != 0 || type != platform::kRegistryString) return {};
  std::u16string text(size / sizeof(char16_t), u'\0');
  if (key.QueryValue(name, &type, text.data(), &size) != 0) return {};
  return text.substr(0, text.find(u'\0'));
}

std::filesystem::path ProgramFolder() {
  const auto self = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  return self ? std::filesystem::path(*self).parent_path() : std::filesystem::path();
}

// The install location ends in a separator, which the MinGW library's equivalent() does not look
// past: it then finds no folder equal to it.
std::filesystem::path WithoutTrailingSeparator(const std::filesystem::path& path) {
  return path.has_filename() ? path : path.parent_path();
}

// Paths of the uninstall entries whose InstallLocation is `folder`, however it is spelled.
std::vector<std::u16string> EntriesInstalledAt(const std::filesystem::path& folder) {
  std::vector<std::u16string> entries;
  platform::RegistryKey list;
  uint32_t count = 0;
  if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, kUninstallKey, list) != 0 ||
      list.QueryInfoKey(&count, nullptr) != 0) {
    return entries;
  }
  for (uint32_t index = 0; index < count; ++index) {
    char16_t name[256];
    uint32_t nameLength = 256;
    if (list.EnumKey(index, name, &nameLength) != 0) continue;
    const std::u16string path = std::u16string(kUninstallKey) + u"\\" + std::u16string(name, nameLength);
    platform::RegistryKey entry;
    if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, path, entry) != 0) continue;
    const std::u16string location = GetString(entry, u"InstallLocation");
    std::error_code failure;
    if (!location.empty() &&
        std::filesystem::equivalent(WithoutTrailingSeparator(std::filesystem::path(location)), folder, failure)) {
      entries.push_back(path);
    }
  }
  return entries;
}

bool PlaceProgram(const std::filesystem::path& folder, std::string& error) {
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  const std::filesystem::path target = folder / "Ombrel.exe";
  if (std::filesystem::exists(target)) return true;
  const auto self = platform::GetProcessImagePath(platform::GetCurrentProcessId());
  if (!self || !platform::CopyFileReplacing(*self, target.u16string())) {
    error = "cannot place Ombrel.exe in " + platform::Utf8FromPath(folder);
    return false;
  }
  return true;
}

}  // namespace

bool InstallRenderer(const std::string& folder, const std::string& version, std::string& error) {
  // From UTF-16, never through the narrow code page that a narrow path means on Windows.
  const std::filesystem::path location = std::filesystem::absolute(platform::Utf16FromUtf8(folder));
  if (!PlaceProgram(location, error)) return false;

  const std::string major = version.substr(0, version.find('.'));
  const std::u16string entry = std::u16string(kUninstallKey) + u"\\" + platform::Utf16FromUtf8("Ombrel " + major);
  platform::RegistryKey key;
  if (platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, entry, key) != platform::kErrorSuccess) {
    error = "cannot write the uninstall entry (registry unavailable)";
    return false;
  }
  std::u16string installLocation = location.u16string();
  if (installLocation.back() != u'/') installLocation += u'/';
  const bool written = SetString(key, u"DisplayName", platform::Utf16FromUtf8("Ombrel " + major)) == 0 &&
                       SetString(key, u"DisplayVersion", platform::Utf16FromUtf8(version)) == 0 &&
                       SetString(key, u"InstallLocation", installLocation) == 0;
  if (!written) error = "cannot write the uninstall entry's values";
  return written;
}

bool UninstallRenderer(std::string& error) {
  const std::filesystem::path folder = ProgramFolder();
  const std::vector<std::u16string> entries = EntriesInstalledAt(folder);
  if (entries.empty()) {
    error = "no installation in " + platform::Utf8FromPath(folder) + " to remove";
    return false;
  }
  for (const std::u16string& entry : entries) {
    if (platform::RegistryKey::Delete(platform::RegistryRoot::LocalMachine, entry) != platform::kErrorSuccess) {
      error = "cannot remove the uninstall entry " + platform::Utf8FromUtf16(entry);
      return false;
    }
  }
  return true;
}

std::string InstalledTitle() {
  for (const std::u16string& path : EntriesInstalledAt(ProgramFolder())) {
    platform::RegistryKey entry;
    if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, path, entry) != 0) continue;
    const std::u16string version = GetString(entry, u"DisplayVersion");
    if (!version.empty()) return "Ombrel " + platform::Utf8FromUtf16(version);
  }
  return "Ombrel 12.0";
}
