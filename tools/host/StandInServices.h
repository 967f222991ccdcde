#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/HostServices.h"
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

class ProgramVariablesService : public CountedService<IProgramVariables> {
public:
  bool GetBool(int32_t variable, bool& value) override;
  bool SetBool(int32_t variable, bool value) override;
  bool SetLong(int32_t variable, int32_t value) override;

private:
  std::mutex mutex_;
  std::map<int32_t, bool> booleans_;
};

class LayerService : public CountedService<ILayerService> {
public:
  LayerService() = default;
  LayerService(int16_t type, int16_t projection) : activeLayer_{type, projection} {}
  LayerHandle GetActiveLayer() override { return &activeLayer_; }
  int16_t GetLayerType(LayerHandle layer) override;
  int16_t GetProjection(LayerHandle layer) override;
  bool SetProjection(LayerHandle layer, int16_t projection) override;

private:
  struct Layer {
    int16_t type = 1;  // design layer
    int16_t projection = kProjectionPerspective;
  };
  Layer activeLayer_;
};

class DocumentService : public CountedService<IDocumentService> {
public:
  explicit DocumentService(std::u16string fileName) : fileName_(std::move(fileName)) {}
  TXString GetActiveDocumentFileName() override { return TXString(fileName_); }

private:
  std::u16string fileName_;
};

class StatusMessageService : public CountedService<IStatusMessageService> {
public:
  void ShowMessage(const TXString& text, int32_t level) override;
};

class ViewPaneLabelService : public CountedService<IViewPaneLabelService> {
public:
  bool AddLabel(int32_t pane, const TXString& name, const TXString& text, IViewPaneLabelHandler* handler) override;
  void RemoveLabel(int32_t pane, const TXString& name) override;
};

class ViewDescriptionService : public CountedService<IViewDescriptionService> {
public:
  bool GetViewDescription(uint8_t* description) override;
};

class ToolService : public CountedService<IToolService> {
public:
  void PostToolMessage(int32_t message) override;
  void RefreshTool(const TXString& universalName) override;
  void AddButton(Sequence<TXString> images) override;
  void SetButtonHelp(Sequence<SModeBarButtonHelp> help) override;
  void EnableButton(int32_t index, bool enabled) override;
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
