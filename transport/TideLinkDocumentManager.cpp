#include "transport/TideLinkDocumentManager.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <unordered_map>

#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "transport/WireFormat.h"

namespace {

constexpr std::u16string_view kConnectionsKey = u"Software\\Brisca\\LiveConnections";
constexpr std::chrono::milliseconds kNotifyWait{25};
constexpr uint32_t kConnectionLive = 1;

std::u16string UpperCase(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  }
  return text;
}

bool Contains(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

// Which window classes of a process with this upper-cased image path belong to a renderer.
bool IsRendererWindowClass(const std::u16string& imagePath, const std::u16string& className) {
  if (Contains(imagePath, u"OMBREL.EXE")) return Contains(className, u"START");
  if (Contains(imagePath, u"PYRRHEX.EXE")) {
    return Contains(className, u"PYRRHEX EDITOR") || Contains(className, u"QT5QWINDOWICON");
  }
  return false;
}

}  // namespace

TideLinkDocumentManager& TideLinkDocumentManager::Instance() {
  static TideLinkDocumentManager manager;
  return manager;
}

uint32_t TideLinkDocumentManager::NextSegmentNumber() { return ++segmentCounter; }

tbb::concurrent_vector<platform::WindowHandle> TideLinkDocumentManager::FindRendererWindows() {
  tbb::concurrent_vector<platform::WindowHandle> windows;
  std::unordered_map<uint32_t, std::u16string> imagePaths;  // upper-cased, per process
  for (platform::WindowHandle window : platform::EnumerateWindows()) {
    const auto attributes = platform::GetWindowAttributes(window);
    if (!attributes || attributes->owner != 0 || !attributes->visible) continue;
    auto [entry, inserted] = imagePaths.try_emplace(attributes->processId);
    if (inserted) {
      entry->second = UpperCase(platform::GetProcessImagePath(attributes->processId).value_or(u""));
    }
    if (IsRendererWindowClass(entry->second, UpperCase(attributes->className))) {
      windows.push_back(window);
    }
  }
  return windows;
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
              platform::PostMessage(window, {wire::kUpdateMessage, wParam, lParam});
  }
  EndNotification();
  return posted ? 0 : -1;
}

void TideLinkDocumentManager::RegisterConnection(std::u16string_view name) {
  platform::RegistryKey key;
  int32_t result = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser,
                                               kConnectionsKey, key);
  if (result == platform::kErrorFileNotFound) {
    result = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kConnectionsKey,
                                           key);
  }
  if (result != platform::kErrorSuccess) return;
  key.SetValue(name, platform::REG_DWORD, &kConnectionLive, sizeof(kConnectionLive));
}

void TideLinkDocumentManager::UnregisterConnection(std::u16string_view name) {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnectionsKey, key) ==
      platform::kErrorSuccess) {
    key.DeleteValue(name);
  }
}
