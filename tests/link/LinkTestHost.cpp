#include "tests/link/LinkTestHost.h"

#include <algorithm>

#include "platform/TextConversion.h"
#include "sdk/HostBinding.h"
#include "ui/DialogUI.h"

namespace {

std::u16string FileNameOf(const std::u16string& path) { return path.substr(path.rfind(u'/') + 1); }

class CollectedItems : public ViewPaneLabelAPI::ItemList {
public:
  void Append(const TXString& image, const TXString& text) override {
    items.push_back(platform::Utf8FromUtf16(FileNameOf(image.GetStdUString())) + "|" +
                    platform::Utf8FromUtf16(text.GetStdUString()));
  }
  std::vector<std::string> items;
};

}  // namespace

LinkTestHost::LinkTestHost(std::string_view answers) {
  host.textsEchoKeys = true;
  host.services = {{IID_NotificationService, &notifications}, {IID_ProgramVariables, &variables},
                   {IID_LayerService, &layers},               {IID_DocumentService, &documents},
                   {IID_SceneChangeService, &sceneChanges},   {IID_StatusMessageService, &status},
                   {IID_ViewPaneLabelService, &labels},       {IID_ToolService, &tools}};
  HostBinding::Bind(&TestHost::Callback);
  auto backend = std::make_unique<ui::HeadlessBackend>(ui::HeadlessScript::Parse(answers));
  ui = backend.get();
  DialogUI::CreateInstance(std::move(backend));
}

LinkTestHost::~LinkTestHost() {
  DialogUI::DestroyInstance();
  HostBinding::Release();
}

void LinkTestHost::Post(uint32_t code) {
  const auto callbacks = notifications.callbacks;
  for (const auto& [registered, callback] : callbacks) {
    const bool stillThere = std::find(notifications.callbacks.begin(), notifications.callbacks.end(),
                                      std::pair{registered, callback}) != notifications.callbacks.end();
    if (registered == code && stillThere) callback(code, 0, nullptr);
  }
}

bool LinkTestHost::Send(int32_t kind, const void* data) {
  if (sceneChanges.handlers.empty()) return false;
  sceneChanges.handlers.begin()->second->OnOperation(VGS::Operation{kind, data});
  return true;
}

bool LinkTestHost::ClickLabel(int32_t pane, int32_t item) {
  const auto found = labels.byPane.find(pane);
  if (found == labels.byPane.end()) return false;
  ViewPaneLabelAPI::Args args;
  args.itemIndex = item;
  found->second->OnLabelEvent(ViewPaneLabelAPI::kItemClicked, args);
  return true;
}

std::vector<std::string> LinkTestHost::LabelItems(int32_t pane) {
  const auto found = labels.byPane.find(pane);
  if (found == labels.byPane.end()) return {};
  CollectedItems items;
  ViewPaneLabelAPI::Args args;
  args.items = &items;
  found->second->OnLabelEvent(ViewPaneLabelAPI::kBuildItems, args);
  return items.items;
}

std::vector<std::string> LinkTestHost::statusTexts() const { return status.shown; }

std::u16string LinkTestHost::lastMessageText() const {
  const auto boxes = messageBoxes();
  return boxes.empty() ? std::u16string() : boxes.back().request.text;
}

bool LinkTestHost::IsRegistered(uint32_t code) const {
  return std::any_of(notifications.callbacks.begin(), notifications.callbacks.end(),
                     [&](const auto& entry) { return entry.first == code; });
}

void LinkTestHost::Withhold(const VWIID& id) {
  std::erase_if(host.services, [&](const auto& offered) { return offered.first == id; });
}

uint32_t LinkTestHost::heldReferences() const {
  return notifications.references + variables.references + layers.references + documents.references +
         sceneChanges.references + status.references + labels.references + tools.references;
}

bool LinkTestHost::Notifications::Register(uint32_t code, NotificationCallback callback, void*) {
  callbacks.emplace_back(code, callback);
  registrationOrder.push_back(code);
  return true;
}

void LinkTestHost::Notifications::Unregister(uint32_t code, NotificationCallback callback, void*) {
  std::erase(callbacks, std::pair{code, callback});
}

bool LinkTestHost::Variables::GetBool(int32_t variable, bool& value) {
  const auto found = booleans.find(variable);
  if (found == booleans.end()) return false;
  value = found->second;
  return true;
}

bool LinkTestHost::Variables::SetBool(int32_t variable, bool value) {
  booleans[variable] = value;
  writes.push_back(std::to_string(variable) + "=" + (value ? "1" : "0"));
  return true;
}

bool LinkTestHost::Variables::SetLong(int32_t variable, int32_t value) {
  writes.push_back(std::to_string(variable) + "=" + std::to_string(value));
  return true;
}

bool LinkTestHost::SceneChanges::RegisterHandler(const TXString& name, ISceneOperationHandler* handler, int32_t) {
  return handlers.emplace(name.GetStdUString(), handler).second;
}

void LinkTestHost::Status::ShowMessage(const TXString& text, int32_t level) {
  shown.push_back(platform::Utf8FromUtf16(text.GetStdUString()) + "/" + std::to_string(level));
}

bool LinkTestHost::Labels::AddLabel(int32_t pane, const TXString&, const TXString&, IViewPaneLabelHandler* handler) {
  byPane[pane] = handler;
  ++adds;
  return true;
}

void LinkTestHost::Labels::RemoveLabel(int32_t pane, const TXString&) { byPane.erase(pane); }

void LinkTestHost::Tools::AddButton(Sequence<TXString> images) {
  std::vector<std::u16string> names;
  for (const TXString& image : images) names.push_back(FileNameOf(image.GetStdUString()));
  buttons.push_back(std::move(names));
}

void LinkTestHost::Tools::SetButtonHelp(Sequence<SModeBarButtonHelp> help) {
  for (const SModeBarButtonHelp& entry : help) {
    helpTips.push_back(entry.tip.GetStdUString());
    helpEntries.push_back(platform::Utf8FromUtf16(entry.tip.GetStdUString()) + "|" +
                          platform::Utf8FromUtf16(entry.help.GetStdUString()) + "|" + std::to_string(entry.kind));
  }
}

void LinkTestHost::Tools::EnableButton(int32_t index, bool on) { enabled.emplace_back(index, on); }
