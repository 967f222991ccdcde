#include "transport/TideLinkDocumentManager.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>


#include "platform/Parallel.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "platform/SharedMemory.h"
#include "platform/UnicodeCharacters.h"
#include "transport/TideLinkDocumentImpl.h"
#include "transport/WireFormat.h"

namespace {

constexpr std::u16string_view kConnectionsKey = u"Software\\Brisca\\LiveConnections";
constexpr std::chrono::milliseconds kNotifyWait{25};
constexpr uint32_t kConnectionLive = 1;

std::u16string UpperCase(std::u16string text) {
  for (char16_t& unit : text) unit = platform::UpperCaseUnit(unit);
  return text;
}

bool Contains(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

bool IsRendererImage(const std::u16string& imagePath) {
  return Contains(imagePath, u"OMBREL.EXE") || Contains(imagePath, u"PYRRHEX.EXE");
}

// Which window classes of a process with this upper-cased image path belong to a renderer; a path
// that names both products is judged by the first rule only.
bool IsRendererWindowClass(const std::u16string& imagePath, const std::u16string& className) {
  if (Contains(imagePath, u"OMBREL.EXE")) return Contains(className, u"START");
  if (Contains(imagePath, u"PYRRHEX.EXE")) {
    return Contains(className, u"PYRRHEX EDITOR") || Contains(className, u"QT5QWINDOWICON");
  }
  return false;
}

// Windows of `processId` that a renderer shows the user: top-level, unowned and visible.
std::vector<std::pair<platform::WindowHandle, std::u16string>> ShownWindowsOf(uint32_t processId) {
  std::vector<std::pair<platform::WindowHandle, std::u16string>> windows;
  for (platform::WindowHandle window : platform::EnumerateWindows()) {
    const auto attributes = platform::GetWindowAttributes(window);
    if (attributes && attributes->processId == processId && attributes->owner == 0 && attributes->visible) {
      windows.emplace_back(window, UpperCase(attributes->className));
    }
  }
  return windows;
}

// The renderer windows of one process: none for a process that is not a renderer or cannot be read.
std::vector<platform::WindowHandle> RendererWindowsOf(uint32_t processId) {
  std::vector<platform::WindowHandle> found;
  if (processId == 0) return found;
  const std::optional<std::u16string> imagePath = platform::GetProcessImagePath(processId);
  if (!imagePath) return found;
  const std::u16string upperPath = UpperCase(*imagePath);
  if (!IsRendererImage(upperPath)) return found;
  for (const auto& [window, className] : ShownWindowsOf(processId)) {
    if (IsRendererWindowClass(upperPath, className)) found.push_back(window);
  }
  return found;
}

}  // namespace

TideLinkDocumentManager& TideLinkDocumentManager::Instance() {
  static TideLinkDocumentManager manager;
  return manager;
}

TideLinkDocumentManager::~TideLinkDocumentManager() {
  for (const auto& document : openDocuments) {
    if (auto impl = std::dynamic_pointer_cast<TideLinkDocumentImpl>(document)) impl->Close();
  }
}

uint32_t TideLinkDocumentManager::NextSegmentNumber() { return ++segmentCounter; }

TideLinkDocumentManager::DocumentSet TideLinkDocumentManager::MakeDocumentSet() {
  DocumentSet documents(8);
  documents.max_load_factor(1.0f);
  return documents;
}

std::shared_ptr<TideLinkDocument> TideLinkDocumentManager::OpenDocument(const std::u16string& name,
                                                                        uint64_t blockCount) {
  ListConnections(0);  // only for its pruning of announcements left by ended processes
  std::shared_ptr<TideLinkDocument> document = TideLinkDocumentImpl::Create(name, blockCount);
  if (!document->IsOpen()) return nullptr;
  openDocuments.insert(document);
  return document;
}

void TideLinkDocumentManager::CloseDocument(const std::shared_ptr<TideLinkDocument>& document) {
  if (auto impl = std::dynamic_pointer_cast<TideLinkDocumentImpl>(document)) impl->Close();
  openDocuments.erase(document);
}

std::vector<std::u16string> TideLinkDocumentManager::ListConnections(uint32_t filter) {
  std::vector<std::u16string> names;
  const platform::RegistryWaitLimit limit(platform::kRegistryWaitOnMainThread);
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnectionsKey, key) != 0) return names;
  uint32_t count = 0;
  if (key.QueryInfoKey(nullptr, &count) != 0) return names;
  for (uint32_t index = 0; index < count; ++index) {
    char16_t name[260];
    uint32_t nameLength = 260, type = 0, data = 0, size = sizeof(data);
    // A longer name or data (a string value, say) fails here and is left alone.
    if (key.EnumValue(index, name, &nameLength, &type, &data, &size) != 0) continue;
    if (filter != 0 && data != filter) continue;
    names.emplace_back(name, nameLength);
  }
  std::erase_if(names, [&](const std::u16string& name) {
    platform::SharedMemory mapping;
    if (platform::SharedMemory::Open(SharedMemoryChannel::MappingName(name), mapping) == 0) return false;
    key.DeleteValue(name);
    return true;
  });
  return names;
}

std::vector<platform::WindowHandle> TideLinkDocumentManager::FindRendererWindows() {
  std::mutex foundMutex;
  std::vector<platform::WindowHandle> found;
  const std::vector<uint32_t> processes = platform::EnumerateProcesses();
  platform::ParallelFor(0, processes.size(), 1, [&](size_t begin, size_t end) {
    for (size_t index = begin; index < end; ++index) {
      const std::vector<platform::WindowHandle> windows = RendererWindowsOf(processes[index]);
      if (windows.empty()) continue;
      std::lock_guard lock(foundMutex);
      found.insert(found.end(), windows.begin(), windows.end());
    }
  });
  return found;
}

bool TideLinkDocumentManager::BeginNotification(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(notifyMutex);
  if (!notifyDone.wait_until(lock, deadline, [this] { return !notifying; })) return false;
  notifying = true;
  return true;
}

void TideLinkDocumentManager::EndNotification() {
  {
    std::lock_guard lock(notifyMutex);
    notifying = false;
  }
  notifyDone.notify_one();
}

int32_t TideLinkDocumentManager::NotifyRenderer(uint64_t wParam, int64_t lParam) {
  if (!BeginNotification(std::chrono::steady_clock::now() + kNotifyWait)) return -1;
  const bool windowGone = std::any_of(rendererWindows.begin(), rendererWindows.end(),
                                      [](auto window) { return !platform::IsWindow(window); });
  if (windowGone) rendererWindows.clear();
  // A renderer started after the last scan is found because an empty list is always rebuilt.
  if (rendererWindows.empty()) rendererWindows = FindRendererWindows();
  bool posted = false;
  for (platform::WindowHandle window : rendererWindows) {
    posted |= platform::IsWindow(window) &&
              platform::PostWindowMessage(window, {wire::kUpdateMessage, wParam, lParam});
  }
  EndNotification();
  return posted ? 0 : -1;
}

bool TideLinkDocumentManager::RegisterConnection(std::u16string_view name) {
  const platform::RegistryWaitLimit limit(platform::kRegistryWaitOnMainThread);
  platform::RegistryKey key;
  int32_t result = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser,
                                               kConnectionsKey, key);
  if (result == platform::kErrorFileNotFound) {
    result = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kConnectionsKey,
                                           key);
  }
  if (result != platform::kErrorSuccess) return false;
  return key.SetValue(name, platform::kRegistryDword, &kConnectionLive, sizeof(kConnectionLive)) ==
         platform::kErrorSuccess;
}

void TideLinkDocumentManager::UnregisterConnection(std::u16string_view name) {
  const platform::RegistryWaitLimit limit(platform::kRegistryWaitOnMainThread);
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnectionsKey, key) ==
      platform::kErrorSuccess) {
    key.DeleteValue(name);
  }
}
