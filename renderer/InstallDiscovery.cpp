#include "renderer/InstallDiscovery.h"

#include <optional>
#include <string>

#include "platform/MessageWindow.h"
#include "renderer/UninstallEntries.h"
#include "transport/TideLinkDocumentManager.h"

namespace {

// A title is read as GetWindowTextW reads it into 520 units: at most 519 and the terminating zero.
constexpr size_t kTitleUnits = 520 - 1;

// Version text of a title, or nothing when the window is no renderer's main window.
std::optional<std::u16string> VersionTextOfTitle(std::u16string_view title) {
  title = title.substr(0, kTitleUnits);
  title = title.substr(0, title.find(u'\0'));
  if (title.find(u"Ombrel ") == std::u16string_view::npos) return std::nullopt;
  std::u16string text = UpperCaseAscii(title);
  text = text.substr(0, text.find(u"BETA"));
  return text.substr(0, text.find(u"RC"));
}

}  // namespace

RendererVersion FindInstalledVersion() {
  RendererVersion best;
  ForEachRendererEntry([&](const platform::RegistryKey&, const RendererVersion& version) {
    if (Less(best, version)) best = version;
    return true;
  });
  return best;
}

RendererVersion FindRunningVersion(bool selectHighest) {
  RendererVersion best;
  for (const platform::WindowHandle window : TideLinkDocumentManager::Instance().FindRendererWindows()) {
    const std::optional<platform::WindowAttributes> attributes = platform::GetWindowAttributes(window);
    if (!attributes) continue;  // closed since it was found
    const std::optional<std::u16string> text = VersionTextOfTitle(attributes->title);
    if (!text) continue;
    const RendererVersion version = ParseVersion(*text);
    if (!selectHighest) return version;
    if (Less(best, version)) best = version;
  }
  return best;
}
