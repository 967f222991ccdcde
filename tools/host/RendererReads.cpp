#include "tools/host/RendererReads.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/Environment.h"
#include "platform/MessageWindow.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "platform/SharedMemory.h"
#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
#include "transport/WireFormat.h"

namespace {

constexpr std::u16string_view kConnectionsKey = u"Software\\Brisca\\LiveConnections";
constexpr std::u16string_view kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::vector<std::u16string> AnnouncedDocuments() {
  std::vector<std::u16string> names;
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnectionsKey, key) != 0) return names;
  char16_t name[260];
  uint8_t data[64];
  uint32_t nameLength = 260, type = 0, size = sizeof(data);
  for (uint32_t index = 0; key.EnumValue(index, name, &nameLength, &type, data, &size) == 0;
       ++index, nameLength = 260, size = sizeof(data)) {
    names.emplace_back(name, nameLength);
  }
  return names;
}

uint32_t LoadWord(const uint8_t* at) {
  return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(at))).load();
}

// The reads recorded in a mapping that is the link document of `owner`; nothing otherwise.
std::optional<LinkReads> ReadsOf(const platform::SharedMemory& mapping, uint32_t owner) {
  const auto* bytes = static_cast<const uint8_t*>(mapping.data());
  if (mapping.size() < wire::kBlockSize) return std::nullopt;
  const auto* header = reinterpret_cast<const wire::HeaderRecord*>(bytes);
  if (header->record.tag != wire::kTagHeader || header->ownerProcessId != owner) return std::nullopt;
  const uint64_t blocks = std::min<uint64_t>(header->blockCount, mapping.size() / wire::kBlockSize - 1);
  const uint64_t last = std::min<uint64_t>(LoadWord(bytes + offsetof(wire::HeaderRecord, highWater)), blocks - 1);
  LinkReads reads;
  reads.committed = LoadWord(bytes + offsetof(wire::HeaderRecord, record.version));
  const uint32_t holder = LoadWord(bytes + offsetof(wire::HeaderRecord, lockOwner));
  reads.readerHoldsLock = holder != 0 && holder != owner && platform::IsProcessAlive(holder);
  for (uint64_t index = 0; blocks > 0 && index <= last; ++index) {
    const uint8_t* block = bytes + wire::kBlockSize * (index + 1);
    if (LoadWord(block) != wire::kTagStatus) continue;
    reads.read = LoadWord(block + wire::kStatusVersionReadOffset);
    break;
  }
  return reads;
}

std::u16string StringValue(const platform::RegistryKey& key, std::u16string_view name) {
  uint32_t type = 0, size = 0;
  if (key.QueryValue(name, &type, nullptr, &size) != 0) return {};
  std::u16string text(size / sizeof(char16_t), u'\0');
  if (key.QueryValue(name, &type, text.data(), &size) != 0) return {};
  return text.substr(0, text.find(u'\0'));
}

// The programs of the renderers installed in this registry: the install location with the
// program's name joined on as the plug-in joins them.
std::vector<std::filesystem::path> InstalledRendererPrograms() {
  std::vector<std::filesystem::path> programs;
  platform::RegistryKey list;
  uint32_t count = 0;
  if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, kUninstallKey, list) != 0 ||
      list.QueryInfoKey(&count, nullptr) != 0) {
    return programs;
  }
  for (uint32_t index = 0; index < count; ++index) {
    char16_t name[256];
    uint32_t nameLength = 256;
    platform::RegistryKey entry;
    if (list.EnumKey(index, name, &nameLength) != 0 ||
        platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine,
                                    std::u16string(kUninstallKey) + u"\\" + std::u16string(name, nameLength), entry) != 0) {
      continue;
    }
    const std::u16string location = StringValue(entry, u"InstallLocation");
    if (!location.empty()) programs.emplace_back(location + u"Ombrel.exe");
  }
  return programs;
}

// Processes with a message window in this user's runtime folder: the renderers that serve it.
std::set<uint32_t> ProcessesWithWindows() {
  std::set<uint32_t> processes;
  for (const platform::WindowHandle window : platform::EnumerateWindows()) {
    if (const std::optional<platform::WindowAttributes> attributes = platform::GetWindowAttributes(window)) {
      processes.insert(attributes->processId);
    }
  }
  return processes;
}

}  // namespace

std::optional<LinkReads> OwnLinkReads() {
  const uint32_t self = platform::GetCurrentProcessId();
  for (std::u16string name : AnnouncedDocuments()) {
    std::replace(name.begin(), name.end(), u'\\', u'/');
    platform::SharedMemory mapping;
    if (platform::SharedMemory::Open(name, mapping) != 0) continue;
    if (std::optional<LinkReads> reads = ReadsOf(mapping, self)) return reads;
  }
  return std::nullopt;
}

bool RendererRunning() {
  const std::vector<std::filesystem::path> installed = InstalledRendererPrograms();
  const std::set<uint32_t> withWindows = ProcessesWithWindows();
  for (const uint32_t process : platform::EnumerateProcesses()) {
    const std::optional<std::u16string> image = platform::GetProcessImagePath(process);
    if (!image) continue;
    const std::filesystem::path program(*image);
    if (program.filename() != "Ombrel.exe") continue;
    std::error_code error;
    if (withWindows.count(process) ||
        std::any_of(installed.begin(), installed.end(),
                    [&](const std::filesystem::path& path) { return std::filesystem::equivalent(path, program, error); })) {
      return true;
    }
  }
  return false;
}

std::optional<std::string> RendererLaunchLog() {
  const std::optional<std::string> folder = platform::ReadEnvironmentVariable("OMBREL_OUTPUT_DIR");
  if (!folder || folder->empty()) return std::nullopt;
  const std::filesystem::path log = platform::PathFromUtf8(*folder) / "TideLink.log";
  std::error_code error;
  if (std::filesystem::file_size(log, error) == 0 || error) return std::nullopt;
  return platform::Utf8FromPath(log);
}
