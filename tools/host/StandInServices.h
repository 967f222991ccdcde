#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/HostServices.h"
#include "sdk/VWExtension.h"
#include "tools/host/StringTable.h"

// The stand-in host's implementation of every service the plug-in may ask for. Each one prints
// what the plug-in does with it, so that a session is visible in the host's output.

// Counts the references the module holds, so that the host can tell when one is never released.
class ReferenceCounter {
public:
  uint32_t references() const { return references_; }

protected:
  std::atomic<uint32_t> references_{0};
};

template <class Interface>
class CountedService : public Interface, public ReferenceCounter {
public:
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override { return --references_; }
};

class SdkService : public CountedService<ISDK> {
public:
  explicit SdkService(int16_t majorVersion) : majorVersion_(majorVersion) {}
  void GetHostVersion(int16_t& major, int16_t& minor, int16_t& maintenance) override;
  void GetVersionTexts(TXString& first, TXString& second) override;

private:
  int16_t majorVersion_;
};

struct ExtensionRegistration {
  VWModuleInfo* moduleInfo;
  VWIID ownId;
  VWIID kindId;
};

class ExtensionRegistryService : public CountedService<IExtensionRegistry> {
public:
  bool RegisterExtension(VWModuleInfo* moduleInfo, const VWIID& ownId, const VWIID& kindId,
                         bool enabled) override;
  std::vector<ExtensionRegistration> registrations() const;

private:
  mutable std::mutex mutex_;
  std::vector<ExtensionRegistration> registrations_;
};

// The host's name for an extension kind, e.g. "tool"; "unknown kind" for others.
const char* ExtensionKindName(const VWIID& kindId);

class NotificationService : public CountedService<INotificationService> {
public:
  bool Register(uint32_t code, NotificationCallback callback, void* context) override;
  void Unregister(uint32_t code, NotificationCallback callback, void* context) override;
  // Calls every callback registered for `code` on the calling thread (the host's main thread).
  // A callback unregistered by an earlier one during the same post is not called.
  void Post(uint32_t code, intptr_t data);
  bool IsRegistered(uint32_t code);

private:
  struct Subscriber {
    NotificationCallback callback;
    void* context;
  };
  std::mutex mutex_;
  std::multimap<uint32_t, Subscriber> subscribers_;
};

// The view is on (94) as in a host that shows a drawing; every other variable is unknown until the
// plug-in writes it.
class ProgramVariablesService : public CountedService<IProgramVariables> {
public:
  static constexpr int32_t kViewOnVariable = 94;

  ProgramVariablesService() : booleans_{{kViewOnVariable, true}} {}
  bool GetBool(int32_t variable, bool& value) override;
  bool SetBool(int32_t variable, bool value) override;
  bool SetLong(int32_t variable, int32_t value) override;

private:
  std::mutex mutex_;
  std::map<int32_t, bool> booleans_;
};

// A design layer and a sheet layer, one of them active, each with its own projection.
class LayerService : public CountedService<ILayerService> {
public:
  static constexpr int16_t kDesignLayerType = 1;
  static constexpr int16_t kProjectionTop = 0;

  LayerService(bool sheetActive, int16_t designProjection);
  LayerHandle GetActiveLayer() override;
  int16_t GetLayerType(LayerHandle layer) override;
  int16_t GetProjection(LayerHandle layer) override;
  bool SetProjection(LayerHandle layer, int16_t projection) override;

  void ActivateSheetLayer(bool sheet);
  bool IsSheetLayerActive();
  // Sets the active layer's projection as the user would, without a word to the plug-in.
  void SetActiveProjection(int16_t projection);

private:
  struct Layer {
    int16_t type;
    int16_t projection;
  };
  Layer* Find(LayerHandle layer);

  std::mutex mutex_;
  Layer design_;
  Layer sheet_{kSheetLayerType, kProjectionTop};
  Layer* active_;
};

struct StatusRecord {
  std::u16string text;
  int32_t level;
};

// Shows each text and keeps every one, in order.
class StatusMessageService : public CountedService<IStatusMessageService> {
public:
  void ShowMessage(const TXString& text, int32_t level) override;
  std::vector<StatusRecord> messages();

private:
  std::mutex mutex_;
  std::vector<StatusRecord> messages_;
};

struct LabelItem {
  std::u16string image;
  std::u16string text;
};

// The labels in the view panes: at most one per owner and pane, its items built by the owner's
// handler whenever it is added. Called on the main thread; handlers are called without a lock,
// so that a click may replace or remove the label it came from.
class ViewPaneLabelService : public CountedService<IViewPaneLabelService> {
public:
  struct Label {
    int32_t pane;
    std::u16string owner;
    std::u16string text;
    IViewPaneLabelHandler* handler;
    std::vector<LabelItem> items;
  };

  bool AddLabel(int32_t pane, const TXString& owner, const TXString& text, IViewPaneLabelHandler* handler) override;
  void RemoveLabel(int32_t pane, const TXString& owner) override;

  std::vector<Label> labels();
  // Clicks item `item` of the first label in `pane`; false when the pane has no label.
  bool Click(int32_t pane, int32_t item);

private:
  std::mutex mutex_;
  std::vector<Label> labels_;
};

class ViewDescriptionService : public CountedService<IViewDescriptionService> {
public:
  bool GetViewDescription(uint8_t* description) override;
};

struct ModeBarButton {
  std::vector<std::u16string> images;  // one per choice
  std::vector<std::u16string> tips;    // one per choice, from the help list
  bool enabled = true;
};

// The active tool and its mode bar. Tool messages are queued and handed to the active tool's
// event sink on the main thread (DeliverPostedMessages), as a host's event loop does; a refresh
// of the active tool rebuilds its mode bar at once. Each build is printed as one line.
class ToolService : public CountedService<IToolService> {
public:
  void PostToolMessage(int32_t message) override;
  void RefreshTool(const TXString& universalName) override;
  void AddButton(Sequence<TXString> images) override;
  void SetButtonHelp(Sequence<SModeBarButtonHelp> help) override;
  void EnableButton(int32_t index, bool enabled) override;

  // Makes `sink` (null for none) the active tool and builds its mode bar. Main thread only.
  void Activate(VWTool_EventSink* sink, std::u16string universalName);
  // Has the active tool set up its mode bar afresh and prints it. Main thread only.
  void BuildModeBar();
  // Hands every posted message to the active tool's sink, in order. Main thread only.
  void DeliverPostedMessages();
  // Presses a button of the active tool's mode bar, as a user clicks it: false when there is no
  // active tool, and false, with the reason printed, for a button that is missing or disabled or
  // a choice the button does not offer, which a host never delivers to the tool.
  bool Press(int32_t index, int32_t choice);

  std::vector<ModeBarButton> modeBar();
  uint64_t modeBarBuilds();

private:
  void PrintModeBar();
  // Why the press cannot reach the tool; empty when it can. With the lock held.
  std::string RefusalOf(int32_t index, int32_t choice) const;

  std::mutex mutex_;
  VWTool_EventSink* sink_ = nullptr;
  std::u16string toolName_;
  std::vector<int32_t> posted_;
  std::vector<ModeBarButton> buttons_;
  std::vector<std::u16string> helpTips_;
  uint64_t builds_ = 0;
};

// Reads the plug-in's string tables from `resourceFolder` on first use and keeps them.
class ResourceService : public CountedService<IResourceService> {
public:
  explicit ResourceService(std::string resourceFolder) : resourceFolder_(std::move(resourceFolder)) {}
  TXString GetString(const TXString& resource, const TXString& key, int32_t emptyHandling) override;
  bool HasImage(const TXString& path) override;

private:
  const StringTable* FindTable(const std::u16string& resource);

  std::string resourceFolder_;
  std::mutex mutex_;
  std::map<std::u16string, std::optional<StringTable>> tables_;
};

class ScriptingService : public CountedService<IScriptingService> {
public:
  void SetBooleanResult(ScriptCallRecord call, bool result) override;
};
