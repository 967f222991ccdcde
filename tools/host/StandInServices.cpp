#include "tools/host/StandInServices.h"

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
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

LayerService::LayerService(bool sheetActive, int16_t designProjection)
    : design_{kDesignLayerType, designProjection}, active_(sheetActive ? &sheet_ : &design_) {}

LayerService::Layer* LayerService::Find(LayerHandle layer) {
  if (layer == &design_) return &design_;
  if (layer == &sheet_) return &sheet_;
  return nullptr;
}

LayerHandle LayerService::GetActiveLayer() {
  std::lock_guard lock(mutex_);
  return active_;
}

int16_t LayerService::GetLayerType(LayerHandle layer) {
  std::lock_guard lock(mutex_);
  const Layer* found = Find(layer);
  return found ? found->type : 0;
}

int16_t LayerService::GetProjection(LayerHandle layer) {
  std::lock_guard lock(mutex_);
  const Layer* found = Find(layer);
  return found ? found->projection : 0;
}

bool LayerService::SetProjection(LayerHandle layer, int16_t projection) {
  {
    std::lock_guard lock(mutex_);
    Layer* found = Find(layer);
    if (!found) return false;
    found->projection = projection;
  }
  HostConsole::PrintLine("layer projection set to " + std::to_string(projection));
  return true;
}

void LayerService::ActivateSheetLayer(bool sheet) {
  std::lock_guard lock(mutex_);
  active_ = sheet ? &sheet_ : &design_;
}

bool LayerService::IsSheetLayerActive() {
  std::lock_guard lock(mutex_);
  return active_ == &sheet_;
}

void LayerService::SetActiveProjection(int16_t projection) {
  std::lock_guard lock(mutex_);
  active_->projection = projection;
}

void StatusMessageService::ShowMessage(const TXString& text, int32_t level) {
  static constexpr const char* kLevelNames[] = {"neutral", "normal", "warning"};
  const char* levelName = level >= 0 && level <= 2 ? kLevelNames[level] : "unknown";
  HostConsole::PrintLine(std::string("status (") + levelName + "): " + Utf8FromUtf16(text));
  std::lock_guard lock(mutex_);
  messages_.push_back({text.GetStdUString(), level});
}

std::vector<StatusRecord> StatusMessageService::messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

namespace {

class CollectedItems : public ViewPaneLabelAPI::ItemList {
public:
  void Append(const TXString& image, const TXString& text) override {
    items.push_back({image.GetStdUString(), text.GetStdUString()});
  }
  std::vector<LabelItem> items;
};

std::string ItemsText(const std::vector<LabelItem>& items) {
  std::string line;
  for (const LabelItem& item : items) line += " [" + Quoted(TXString(item.image)) + " " + Quoted(TXString(item.text)) + "]";
  return line;
}

}  // namespace

bool ViewPaneLabelService::AddLabel(int32_t pane, const TXString& owner, const TXString& text,
                                    IViewPaneLabelHandler* handler) {
  if (!handler) return false;
  CollectedItems items;
  ViewPaneLabelAPI::Args args;
  args.items = &items;
  handler->OnLabelEvent(ViewPaneLabelAPI::kBuildItems, args);
  HostConsole::PrintLine("view-pane label " + Quoted(owner) + " in pane " + std::to_string(pane) + " with text " +
                         Quoted(text) + " and items" + ItemsText(items.items));
  Label label{pane, owner.GetStdUString(), text.GetStdUString(), handler, std::move(items.items)};
  std::lock_guard lock(mutex_);
  std::erase_if(labels_, [&](const Label& old) { return old.pane == pane && old.owner == label.owner; });
  labels_.push_back(std::move(label));
  return true;
}

void ViewPaneLabelService::RemoveLabel(int32_t pane, const TXString& owner) {
  HostConsole::PrintLine("view-pane label " + Quoted(owner) + " removed from pane " + std::to_string(pane));
  std::lock_guard lock(mutex_);
  std::erase_if(labels_, [&](const Label& label) { return label.pane == pane && label.owner == owner.GetStdUString(); });
}

std::vector<ViewPaneLabelService::Label> ViewPaneLabelService::labels() {
  std::lock_guard lock(mutex_);
  return labels_;
}

bool ViewPaneLabelService::Click(int32_t pane, int32_t item) {
  IViewPaneLabelHandler* handler = nullptr;
  {
    std::lock_guard lock(mutex_);
    for (const Label& label : labels_) {
      if (label.pane == pane) {
        handler = label.handler;
        break;
      }
    }
  }
  if (!handler) return false;
  HostConsole::PrintLine("view-pane label item " + std::to_string(item) + " clicked");
  ViewPaneLabelAPI::Args args;
  args.itemIndex = item;
  handler->OnLabelEvent(ViewPaneLabelAPI::kItemClicked, args);
  return true;
}

bool ViewDescriptionService::GetViewDescription(uint8_t* description) {
  if (!description) return false;
  std::memset(description, 0, kViewDescriptionSize);
  const uint32_t cameraApplies = 1;
  std::memcpy(description + kViewDescriptionCameraOffset, &cameraApplies, sizeof(cameraApplies));
  return true;
}

void ToolService::PostToolMessage(int32_t message) {
  std::lock_guard lock(mutex_);
  posted_.push_back(message);
}

void ToolService::DeliverPostedMessages() {
  for (;;) {
    VWTool_EventSink* sink = nullptr;
    int32_t message = 0;
    {
      std::lock_guard lock(mutex_);
      if (posted_.empty()) return;
      message = posted_.front();
      posted_.erase(posted_.begin());
      sink = sink_;
    }
    HostConsole::PrintLine("tool message " + std::to_string(message));
    // The host's own default for a message nobody handles is to do nothing.
    if (!sink || sink->OnToolMessage(message) != kToolMessageHandled) {
      HostConsole::PrintLine("tool message " + std::to_string(message) + " not handled");
    }
  }
}

void ToolService::RefreshTool(const TXString& universalName) {
  bool active = false;
  {
    std::lock_guard lock(mutex_);
    active = sink_ && universalName.GetStdUString() == toolName_;
  }
  if (active) BuildModeBar();
}

void ToolService::Activate(VWTool_EventSink* sink, std::u16string universalName) {
  {
    std::lock_guard lock(mutex_);
    sink_ = sink;
    toolName_ = std::move(universalName);
  }
  if (!sink) return;
  HostConsole::PrintLine(u"tool \"" + toolName_ + u"\" activated");
  BuildModeBar();
}

void ToolService::BuildModeBar() {
  VWTool_EventSink* sink = nullptr;
  {
    std::lock_guard lock(mutex_);
    sink = sink_;
    buttons_.clear();
    helpTips_.clear();
  }
  if (!sink) return;
  // Without the lock: the sink calls back into this service.
  sink->SetupModeBar();
  {
    std::lock_guard lock(mutex_);
    ++builds_;
  }
  PrintModeBar();
}

bool ToolService::Press(int32_t index, int32_t choice) {
  VWTool_EventSink* sink = nullptr;
  std::string refusal;
  {
    std::lock_guard lock(mutex_);
    sink = sink_;
    refusal = RefusalOf(index, choice);
  }
  if (!sink) return false;
  const std::string button = "mode-bar button " + std::to_string(index);
  if (!refusal.empty()) {
    HostConsole::PrintLine(button + " not pressed: " + refusal);
    return false;
  }
  HostConsole::PrintLine(button + " pressed (choice " + std::to_string(choice) + ")");
  sink->HandleModeBarButton(index, choice);
  return true;
}

std::string ToolService::RefusalOf(int32_t index, int32_t choice) const {
  if (index < 0 || size_t(index) >= buttons_.size()) {
    return "the mode bar has " + std::to_string(buttons_.size()) + " buttons, 0 to " + std::to_string(buttons_.size() - 1);
  }
  const ModeBarButton& button = buttons_[size_t(index)];
  if (!button.enabled) return "it is disabled";
  if (choice < 0 || size_t(choice) >= button.images.size()) {
    return "it has " + std::to_string(button.images.size()) + (button.images.size() == 1 ? " choice" : " choices") +
           ", not choice " + std::to_string(choice);
  }
  return {};
}

void ToolService::AddButton(Sequence<TXString> images) {
  ModeBarButton button;
  for (const TXString& image : images) button.images.push_back(image.GetStdUString());
  std::lock_guard lock(mutex_);
  buttons_.push_back(std::move(button));
}

void ToolService::SetButtonHelp(Sequence<SModeBarButtonHelp> help) {
  std::lock_guard lock(mutex_);
  // One entry per choice, button after button.
  size_t entry = 0;
  for (ModeBarButton& button : buttons_) {
    button.tips.clear();
    for (size_t choice = 0; choice < button.images.size() && entry < help.count; ++choice, ++entry) {
      button.tips.push_back(help[entry].tip.GetStdUString());
    }
  }
}

void ToolService::EnableButton(int32_t index, bool enabled) {
  std::lock_guard lock(mutex_);
  if (index >= 0 && static_cast<size_t>(index) < buttons_.size()) buttons_[index].enabled = enabled;
}

std::vector<ModeBarButton> ToolService::modeBar() {
  std::lock_guard lock(mutex_);
  return buttons_;
}

uint64_t ToolService::modeBarBuilds() {
  std::lock_guard lock(mutex_);
  return builds_;
}

void ToolService::PrintModeBar() {
  std::string line = "mode bar:";
  const std::vector<ModeBarButton> buttons = modeBar();
  for (size_t index = 0; index < buttons.size(); ++index) {
    const ModeBarButton& button = buttons[index];
    line += " [";
    line += std::to_string(index);
    for (size_t choice = 0; choice < button.images.size(); ++choice) {
      line += choice == 0 ? " " : " | ";
      line += Utf8FromUtf16(std::filesystem::path(button.images[choice]).filename().u16string());
      if (choice < button.tips.size()) {
        line += ' ';
        line += Quoted(TXString(button.tips[choice]));
      }
    }
    line += button.enabled ? "]" : " disabled]";
  }
  HostConsole::PrintLine(line);
}

const StringTable* ResourceService::FindTable(const std::u16string& resource) {
  auto found = tables_.find(resource);
  if (found == tables_.end()) {
    const std::string path = platform::Utf8FromPath(platform::PathFromUtf8(resourceFolder_) / resource);
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
  return std::filesystem::is_regular_file(platform::PathFromUtf8(resourceFolder_) / path.GetStdUString());
}

void ScriptingService::SetBooleanResult(ScriptCallRecord, bool result) {
  HostConsole::PrintLine(std::string("script result: ") + (result ? "true" : "false"));
}
