#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdk/HostServices.h"
#include "tests/support/TestHost.h"
#include "ui/HeadlessBackend.h"

// The host services the link controller talks to, as plain recorders the test sets and reads:
// notifications it can post, variables, one active layer, the active drawing's name, a scene-change
// service that keeps the handler for the test to call, and the status, label and tool services.
// Installed into a TestHost, with a headless user interface whose records the test reads.
class LinkTestHost {
public:
  // `answers` for the headless interface's boxes and dialogs, as a headless script gives them.
  explicit LinkTestHost(std::string_view answers);
  ~LinkTestHost();

  // Posts `code` to every callback registered for it, as the host's main thread does.
  void Post(uint32_t code);
  void Tick() { Post(0x41465445); }
  // Hands an operation to the registered scene handler; false when none is registered.
  bool Send(int32_t kind, const void* data = nullptr);
  // Clicks label item `item` of the pane's label; false when the pane has no label.
  bool ClickLabel(int32_t pane, int32_t item);
  // The items the label of `pane` builds now, as "image|text" with the image's file name only.
  std::vector<std::string> LabelItems(int32_t pane);
  std::vector<std::string> statusTexts() const;
  std::vector<ui::MessageBoxRecord> messageBoxes() const { return ui->MessageBoxes(); }
  std::u16string lastMessageText() const;
  bool IsRegistered(uint32_t code) const;
  // Stops offering the service `id`, as a host that lacks it.
  void Withhold(const VWIID& id);
  // References the plug-in holds to any of the services below.
  uint32_t heldReferences() const;

  TestHost host;
  ui::HeadlessBackend* ui = nullptr;  // owned by the plug-in's DialogUI

  struct Notifications : INotificationService {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    bool Register(uint32_t code, NotificationCallback callback, void* context) override;
    void Unregister(uint32_t code, NotificationCallback callback, void* context) override;
    std::vector<std::pair<uint32_t, NotificationCallback>> callbacks;  // in registration order
    std::vector<uint32_t> registrationOrder;
    uint32_t references = 0;
  } notifications;

  struct Variables : IProgramVariables {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    bool GetBool(int32_t variable, bool& value) override;
    bool SetBool(int32_t variable, bool value) override;
    bool SetLong(int32_t variable, int32_t value) override;
    std::map<int32_t, bool> booleans{{94, true}};
    std::vector<std::string> writes;  // "9871=1", "6041=3" in order
    uint32_t references = 0;
  } variables;

  struct Layers : ILayerService {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    LayerHandle GetActiveLayer() override { return this; }
    int16_t GetLayerType(LayerHandle) override { return type; }
    int16_t GetProjection(LayerHandle) override { return projection; }
    bool SetProjection(LayerHandle, int16_t value) override {
      projection = value;
      return true;
    }
    int16_t type = 1;
    int16_t projection = kProjectionPerspective;
    uint32_t references = 0;
  } layers;

  struct Documents : IDocumentService {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    TXString GetActiveDocumentFileName() override { return TXString(fileName); }
    std::u16string fileName;
    uint32_t references = 0;
  } documents;

  struct SceneChanges : ISceneChangeService {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    bool IsHandlerRegistered(const TXString& name) override { return handlers.count(name.GetStdUString()) != 0; }
    bool RegisterHandler(const TXString& name, ISceneOperationHandler* handler, int32_t) override;
    void UnregisterHandler(const TXString& name) override { handlers.erase(name.GetStdUString()); }
    void GetActiveView(int64_t& id, int32_t& pane) override {
      id = viewId;
      pane = activePane;
    }
    std::map<std::u16string, ISceneOperationHandler*> handlers;
    int64_t viewId = 7;
    int32_t activePane = 3;
    uint32_t references = 0;
  } sceneChanges;

  struct Status : IStatusMessageService {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    void ShowMessage(const TXString& text, int32_t level) override;
    std::vector<std::string> shown;  // "text/level"
    uint32_t references = 0;
  } status;

  struct Labels : IViewPaneLabelService {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    bool AddLabel(int32_t pane, const TXString& owner, const TXString&, IViewPaneLabelHandler* handler) override;
    void RemoveLabel(int32_t pane, const TXString& owner) override;
    std::map<int32_t, IViewPaneLabelHandler*> byPane;
    int adds = 0;
    uint32_t references = 0;
  } labels;

  struct Tools : IToolService {
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }
    void PostToolMessage(int32_t message) override { messages.push_back(message); }
    void RefreshTool(const TXString& name) override { refreshed.push_back(name.GetStdUString()); }
    void AddButton(Sequence<TXString> images) override;
    void SetButtonHelp(Sequence<SModeBarButtonHelp> help) override;
    void EnableButton(int32_t index, bool enabled) override;
    std::vector<int32_t> messages;
    std::vector<std::u16string> refreshed;
    std::vector<std::vector<std::u16string>> buttons;  // images per button, file names only
    std::vector<std::u16string> helpTips;
    std::vector<std::string> helpEntries;  // "tip|help|kind" per entry handed over
    std::vector<std::pair<int32_t, bool>> enabled;  // in call order
    uint32_t references = 0;
  } tools;
};
