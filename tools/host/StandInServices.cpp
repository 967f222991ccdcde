#include "tools/host/StandInServices.h"

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/TextConversion.h"
#include "tools/host/HostConsole.h"

namespace {

using platform::Utf8FromUtf16;

std::string Quoted(const TXString& text) {
  std::string quoted(1, '"');
  quoted += Utf8FromUtf16(text);
  quoted += '"';
  return quoted;
}

}  // namespace

void SdkService::GetHostVersion(int16_t& major, int16_t& minor, int16_t& maintenance) {
  major = majorVersion_;
  minor = 0;
  maintenance = 0;
}

void SdkService::GetVersionTexts(TXString& first, TXString& second) {
  first = TXString(platform::Utf16FromUtf8(std::to_string(majorVersion_) + ".0.0"));
  second = TXString(u"(stand-in host)");
}

const char* ExtensionKindName(const VWIID& kindId) {
  static constexpr VWIID kScriptFunctions{0x698FD687, 0xE472, 0x4ECE, {0x95, 0x81, 0x7A, 0xBB, 0x73, 0xE8, 0x5A, 0x4A}};
  static constexpr VWIID kMenuCommand{0x74253F0F, 0xAC9A, 0x4411, {0x9B, 0xC1, 0xD3, 0x88, 0xD4, 0xAD, 0x97, 0xD0}};
  static constexpr VWIID kTool{0xA90DECBC, 0x4893, 0x48EE, {0xA1, 0xB2, 0xCE, 0x20, 0xE3, 0x71, 0x97, 0x2C}};
  if (kindId == kScriptFunctions) return "script functions";
  if (kindId == kMenuCommand) return "menu command";
  if (kindId == kTool) return "tool";
  return "unknown kind";
}

bool ExtensionRegistryService::RegisterExtension(VWModuleInfo* moduleInfo, const VWIID& ownId,
                                                 const VWIID& kindId, bool enabled) {
  {
    std::lock_guard lock(mutex_);
    registrations_.push_back({moduleInfo, ownId, kindId});
  }
  HostConsole::PrintLine(std::string("registered ") + ExtensionKindName(kindId) + " " +
                         FormatVWIID(ownId) + (enabled ? "" : " (disabled)"));
  return true;
}

std::vector<ExtensionRegistration> ExtensionRegistryService::registrations() const {
  std::lock_guard lock(mutex_);
  return registrations_;
}

bool NotificationService::Register(uint32_t code, NotificationCallback callback, void* context) {
  if (!callback) return false;
  std::lock_guard lock(mutex_);
  subscribers_.emplace(code, Subscriber{callback, context});
  HostConsole::PrintLine("notification callback registered for code " + std::to_string(code));
  return true;
}

void NotificationService::Unregister(uint32_t code, NotificationCallback callback, void* context) {
  std::lock_guard lock(mutex_);
  auto [first, last] = subscribers_.equal_range(code);
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second.callback == callback && entry->second.context == context) {
      subscribers_.erase(entry);
      HostConsole::PrintLine("notification callback unregistered for code " + std::to_string(code));
      return;
    }
  }
}

bool ProgramVariablesService::GetBool(int32_t variable, bool& value) {
  std::lock_guard lock(mutex_);
  const auto found = booleans_.find(variable);
  if (found == booleans_.end()) return false;
  value = found->second;
  return true;
}

bool ProgramVariablesService::SetBool(int32_t variable, bool value) {
  {
    std::lock_guard lock(mutex_);
    booleans_[variable] = value;
  }
  HostConsole::PrintLine("program variable " + std::to_string(variable) + " := " + (value ? "true" : "false"));
  return true;
}

bool ProgramVariablesService::SetLong(int32_t variable, int32_t value) {
  HostConsole::PrintLine("program variable " + std::to_string(variable) + " := " + std::to_string(value));
  return true;
}

int16_t LayerService::GetLayerType(LayerHandle layer) {
  return layer == &activeLayer_ ? activeLayer_.type : 0;
}

int16_t LayerService::GetProjection(LayerHandle layer) {
  return layer == &activeLayer_ ? activeLayer_.projection : 0;
}

bool LayerService::SetProjection(LayerHandle layer, int16_t projection) {
  if (layer != &activeLayer_) return false;
  activeLayer_.projection = projection;
  HostConsole::PrintLine("layer projection set to " + std::to_string(projection));
  return true;
}

bool SceneChangeService::IsHandlerRegistered(const TXString& name) {
  std::lock_guard lock(mutex_);
  return handlers_.count(name.GetStdUString()) != 0;
}

bool SceneChangeService::RegisterHandler(const TXString& name, ISceneOperationHandler* handler, int32_t) {
  if (!handler) return false;
  {
    std::lock_guard lock(mutex_);
    if (!handlers_.emplace(name.GetStdUString(), handler).second) return false;
  }
  HostConsole::PrintLine("scene handler registered: " + Quoted(name));
  return true;
}

void SceneChangeService::UnregisterHandler(const TXString& name) {
  std::lock_guard lock(mutex_);
  if (handlers_.erase(name.GetStdUString()) != 0) {
    HostConsole::PrintLine("scene handler unregistered: " + Quoted(name));
  }
}

void SceneChangeService::GetActiveView(int64_t& viewId, int32_t& pane) {
  viewId = 1;
  pane = 0;
}

void StatusMessageService::ShowMessage(const TXString& text, int32_t level) {
  static constexpr const char* kLevelNames[] = {"neutral", "normal", "warning"};
  const char* levelName = level >= 0 && level <= 2 ? kLevelNames[level] : "unknown";
  HostConsole::PrintLine(std::string("status (") + levelName + "): " + Utf8FromUtf16(text));
}

bool ViewPaneLabelService::AddLabel(int32_t pane, const TXString& name, const TXString& text,
                                    IViewPaneLabelHandler* handler) {
  if (!handler) return false;
  HostConsole::PrintLine("view-pane label " + Quoted(name) + " added to pane " + std::to_string(pane) +
                         " with text " + Quoted(text) + " and image " + Quoted(handler->GetLabelImage()));
  return true;
}

void ViewPaneLabelService::RemoveLabel(int32_t pane, const TXString& name) {
  HostConsole::PrintLine("view-pane label " + Quoted(name) + " removed from pane " + std::to_string(pane));
}

bool ViewDescriptionService::GetViewDescription(uint8_t* description) {
  if (!description) return false;
  std::memset(description, 0, kViewDescriptionSize);
  const uint32_t cameraApplies = 1;
  std::memcpy(description + kViewDescriptionCameraOffset, &cameraApplies, sizeof(cameraApplies));
  return true;
}

void ToolService::PostToolMessage(int32_t message) {
  HostConsole::PrintLine("tool message " + std::to_string(message) + " posted");
}

void ToolService::RefreshTool(const TXString& universalName) {
  HostConsole::PrintLine("tool " + Quoted(universalName) + " refreshed");
}

void ToolService::AddButton(Sequence<TXString> images) {
  std::string line = "mode-bar button:";
  for (const TXString& image : images) {
    line += ' ';
    line += Quoted(image);
  }
  HostConsole::PrintLine(line);
}

void ToolService::SetButtonHelp(Sequence<SModeBarButtonHelp> help) {
  for (const SModeBarButtonHelp& entry : help) {
    HostConsole::PrintLine("mode-bar help: " + Quoted(entry.tip) + " - " + Quoted(entry.help));
  }
}

void ToolService::EnableButton(int32_t index, bool enabled) {
  HostConsole::PrintLine("mode-bar button " + std::to_string(index) + (enabled ? " enabled" : " disabled"));
}

const StringTable* ResourceService::FindTable(const std::u16string& resource) {
  auto found = tables_.find(resource);
  if (found == tables_.end()) {
    const std::string path = (std::filesystem::path(resourceFolder_) / Utf8FromUtf16(resource)).string();
    std::optional<StringTable> table = LoadStringTable(path);
    if (!table) {
      HostConsole::PrintLine("resources: cannot read string table " + path);
    } else {
      for (const std::string& problem : table->problems) {
        HostConsole::PrintLine("resources: " + path + " " + problem);
      }
    }
    found = tables_.emplace(resource, std::move(table)).first;
  }
  return found->second ? &*found->second : nullptr;
}

TXString ResourceService::GetString(const TXString& resource, const TXString& key, int32_t emptyHandling) {
  std::lock_guard lock(mutex_);
  const StringTable* table = FindTable(resource.GetStdUString());
  if (table) {
    const auto text = table->texts.find(key.GetStdUString());
    if (text != table->texts.end()) return TXString(text->second);
  }
  return emptyHandling == kEmptyTextGivesKey ? key : TXString();
}

bool ResourceService::HasImage(const TXString& path) {
  return std::filesystem::is_regular_file(std::filesystem::path(resourceFolder_) / Utf8FromUtf16(path));
}

void ScriptingService::SetBooleanResult(ScriptCallRecord, bool result) {
  HostConsole::PrintLine(std::string("script result: ") + (result ? "true" : "false"));
}
