#include "tools/host/StandInServices.h"

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/TextConversion.h"
#include "sdk/ExtensionKinds.h"
#include "tools/host/HostConsole.h"

namespace {

using platform::Utf8FromUtf16;

std::string Quoted(const TXString& text) {
  std::string quoted(1, '"');
  quoted += Utf8FromUtf16(text);
  quoted += '"';
  return quoted;
}

// A notification code as its four characters, most significant byte first ('AFTE').
std::string CodeText(uint32_t code) {
  std::string text = "'";
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char character = static_cast<char>((code >> shift) & 0xFF);
    text += character >= 0x20 && character < 0x7F ? character : '?';
  }
  return text + "'";
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
  if (kindId == IID_ExtensionKindScriptFunctions) return "script functions";
  if (kindId == IID_ExtensionKindMenu) return "menu command";
  if (kindId == IID_ExtensionKindTool) return "tool";
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
  HostConsole::PrintLine("notification callback registered for " + CodeText(code));
  return true;
}

void NotificationService::Unregister(uint32_t code, NotificationCallback callback, void* context) {
  std::lock_guard lock(mutex_);
  auto [first, last] = subscribers_.equal_range(code);
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second.callback == callback && entry->second.context == context) {
      subscribers_.erase(entry);
      HostConsole::PrintLine("notification callback unregistered for " + CodeText(code));
      return;
    }
  }
}

bool NotificationService::IsRegistered(uint32_t code) {
  std::lock_guard lock(mutex_);
  return subscribers_.count(code) != 0;
}

void NotificationService::Post(uint32_t code, intptr_t data) {
  std::vector<Subscriber> called;
  {
    std::lock_guard lock(mutex_);
    auto [first, last] = subscribers_.equal_range(code);
    for (auto entry = first; entry != last; ++entry) called.push_back(entry->second);
  }
  for (const Subscriber& subscriber : called) {
    bool stillRegistered = false;
    {
      std::lock_guard lock(mutex_);
      auto [first, last] = subscribers_.equal_range(code);
      for (auto entry = first; entry != last && !stillRegistered; ++entry) {
        stillRegistered = entry->second.callback == subscriber.callback && entry->second.context == subscriber.context;
      }
    }
    // Without the lock: the callback may register or unregister.
    if (stillRegistered) subscriber.callback(code, data, subscriber.context);
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

void StatusMessageService::ShowMessage(const TXString& text, int32_t level) {
  static constexpr const char* kLevelNames[] = {"neutral", "normal", "warning"};
  const char* levelName = level >= 0 && level <= 2 ? kLevelNames[level] : "unknown";
  HostConsole::PrintLine(std::string("status (") + levelName + "): " + Utf8FromUtf16(text));
}

namespace {

class PrintedItems : public ViewPaneLabelAPI::ItemList {
public:
  void Append(const TXString& image, const TXString& text) override {
    line += " [" + Quoted(image) + " " + Quoted(text) + "]";
  }
  std::string line;
};

}  // namespace

bool ViewPaneLabelService::AddLabel(int32_t pane, const TXString& name, const TXString& text,
                                    IViewPaneLabelHandler* handler) {
  if (!handler) return false;
  PrintedItems items;
  ViewPaneLabelAPI::Args args;
  args.items = &items;
  handler->OnLabelEvent(ViewPaneLabelAPI::kBuildItems, args);
  HostConsole::PrintLine("view-pane label " + Quoted(name) + " added to pane " + std::to_string(pane) +
                         " with text " + Quoted(text) + " and items" + items.line);
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
