#include "renderer/UninstallEntries.h"

namespace {

constexpr std::u16string_view kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr uint32_t kStringBufferBytes = 1024;
constexpr uint32_t kKeyNameUnits = 256;  // a registry key name has at most 255 units

bool NamesRenderer(std::u16string_view displayName) {
  const std::u16string name = UpperCaseAscii(displayName);
  return name.find(u"OMBREL") != std::u16string::npos && name.find(u"TRIAL") == std::u16string::npos &&
         name.find(u"VIEWER") == std::u16string::npos;
}

}  // namespace

std::u16string UpperCaseAscii(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& unit : upper) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  }
  return upper;
}

std::u16string ReadStringValue(const platform::RegistryKey& key, std::u16string_view name) {
  char16_t buffer[kStringBufferBytes / sizeof(char16_t)];
  uint32_t type = 0, size = kStringBufferBytes;
  if (key.QueryValue(name, &type, buffer, &size) != platform::kErrorSuccess || type != platform::kRegistryString) return {};
  // The stored text need not end in a zero; only the bytes written count.
  const std::u16string_view text(buffer, size / sizeof(char16_t));
  return std::u16string(text.substr(0, text.find(u'\0')));
}

void ForEachRendererEntry(
    const std::function<bool(const platform::RegistryKey& entry, const RendererVersion& version)>& visit) {
  platform::RegistryKey list;
  if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, kUninstallKey, list) != platform::kErrorSuccess) {
    return;
  }
  uint32_t entryCount = 0;
  if (list.QueryInfoKey(&entryCount, nullptr) != platform::kErrorSuccess) return;
  for (uint32_t index = 0; index < entryCount; ++index) {
    char16_t name[kKeyNameUnits];
    uint32_t nameLength = kKeyNameUnits;
    const int32_t listed = list.EnumKey(index, name, &nameLength);
    if (listed == platform::kErrorNoMoreItems) return;  // entries went away while we read
    if (listed != platform::kErrorSuccess) continue;
    platform::RegistryKey entry;
    const std::u16string path = std::u16string(kUninstallKey) + u"\\" + std::u16string(name, nameLength);
    if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, path, entry) != platform::kErrorSuccess) continue;
    if (!NamesRenderer(ReadStringValue(entry, u"DisplayName"))) continue;
    if (!visit(entry, ParseVersion(ReadStringValue(entry, u"DisplayVersion")))) return;
  }
}
