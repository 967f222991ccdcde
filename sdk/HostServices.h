#pragma once

#include <cstdint>

#include "sdk/HostCallback.h"
#include "sdk/IVWUnknown.h"
#include "sdk/Sequence.h"
#include "sdk/TXString.h"
#include "sdk/VGSOperation.h"
#include "sdk/VWIID.h"

// The services the host offers to the module. Each one is obtained by its ID through
// HostFunction::kQueryInterface at the moment of use and released in the same call; a host that
// lacks a service answers null and the step that needs it is skipped.

// The SDK object, bound once per module call. Host version, both version texts.
inline constexpr VWIID IID_SDK{0x9C3E6ED0, 0x8290, 0x410F, {0x99, 0x84, 0x0C, 0x44, 0xB7, 0x17, 0x02, 0xED}};
class ISDK : public IVWUnknown {
public:
  virtual void GetHostVersion(int16_t& major, int16_t& minor, int16_t& maintenance) = 0;
  // The two texts that name the host's version, for web links (joined by a space by the caller).
  virtual void GetVersionTexts(TXString& first, TXString& second) = 0;
};

inline constexpr VWIID IID_ExtensionRegistry{0x5B0F2A61, 0x3C1E, 0x4D7A, {0x8E, 0x21, 0x6A, 0x90, 0x4B, 0x11, 0xC2, 0x07}};
class IExtensionRegistry : public IVWUnknown {
public:
  // Offers an extension whose objects the host later asks for by `ownId`.
  virtual bool RegisterExtension(VWModuleInfo* moduleInfo, const VWIID& ownId, const VWIID& kindId,
                                 bool enabled) = 0;
};

using NotificationCallback = void (*)(uint32_t code, intptr_t data, void* context);
inline constexpr VWIID IID_NotificationService{0x1E6C7D30, 0x9A42, 0x4F0B, {0xA3, 0x55, 0x10, 0x7E, 0x2B, 0x64, 0x9D, 0x31}};
class INotificationService : public IVWUnknown {
public:
  // The callback runs on the host's main thread with the code and a data word.
  virtual bool Register(uint32_t code, NotificationCallback callback, void* context) = 0;
  virtual void Unregister(uint32_t code, NotificationCallback callback, void* context) = 0;
};

inline constexpr VWIID IID_ProgramVariables{0x7F3A9C12, 0x5E80, 0x4B6D, {0x91, 0x0A, 0x3C, 0x5D, 0x72, 0xE4, 0x18, 0x66}};
class IProgramVariables : public IVWUnknown {
public:
  // False when the variable is unknown; `value` is then unchanged.
  virtual bool GetBool(int32_t variable, bool& value) = 0;
  virtual bool SetBool(int32_t variable, bool value) = 0;
  virtual bool SetLong(int32_t variable, int32_t value) = 0;
};

using LayerHandle = void*;
inline constexpr int16_t kSheetLayerType = 2;
inline constexpr int16_t kProjectionPerspective = 1;
inline constexpr VWIID IID_LayerService{0x2C8B4E07, 0x1D6F, 0x4A93, {0xB8, 0x4C, 0x5E, 0x02, 0x97, 0xAF, 0x63, 0x1D}};
class ILayerService : public IVWUnknown {
public:
  virtual LayerHandle GetActiveLayer() = 0;
  virtual int16_t GetLayerType(LayerHandle layer) = 0;
  virtual int16_t GetProjection(LayerHandle layer) = 0;
  virtual bool SetProjection(LayerHandle layer, int16_t projection) = 0;
};

inline constexpr VWIID IID_DocumentService{0xB4B088B1, 0x3793, 0x11DB, {0x9C, 0x35, 0x00, 0x50, 0x8D, 0x5E, 0x98, 0x51}};
class IDocumentService : public IVWUnknown {
public:
  // Full path of the active drawing; empty when it was never saved.
  virtual TXString GetActiveDocumentFileName() = 0;
};

// Receives scene operations, possibly on a thread other than the main thread.
class ISceneOperationHandler {
public:
  virtual void OnOperation(const VGS::Operation& operation) = 0;

protected:
  ~ISceneOperationHandler() = default;
};

inline constexpr VWIID IID_SceneChangeService{0xC15C61EF, 0x3A7C, 0x4637, {0xB0, 0x95, 0x77, 0xB1, 0xC9, 0x7F, 0x15, 0x4D}};
class ISceneChangeService : public IVWUnknown {
public:
  virtual bool IsHandlerRegistered(const TXString& name) = 0;
  // The host starts streaming the drawing to `handler` once it is registered.
  virtual bool RegisterHandler(const TXString& name, ISceneOperationHandler* handler, int32_t options) = 0;
  virtual void UnregisterHandler(const TXString& name) = 0;
  virtual void GetActiveView(int64_t& viewId, int32_t& pane) = 0;
};

enum StatusLevel : int32_t { kStatusNeutral = 0, kStatusNormal = 1, kStatusWarning = 2 };
inline constexpr VWIID IID_StatusMessageService{0x46A01702, 0x34B4, 0x41B5, {0xB4, 0x34, 0xAC, 0x92, 0xD8, 0x07, 0x73, 0x1E}};
class IStatusMessageService : public IVWUnknown {
public:
  virtual void ShowMessage(const TXString& text, int32_t level) = 0;
};

// The small label drawn in a view pane's corner: a row of items, each an image and a text. The host
// asks the label's owner to build the items whenever it draws the label, and reports clicks.
namespace ViewPaneLabelAPI {

enum Operation : int32_t {
  kBuildItems = 1,  // append the items to `items`, in display order
  kItemClicked = 2, // the user clicked the item at `itemIndex`
};

class ItemList {
public:
  virtual void Append(const TXString& image, const TXString& text) = 0;

protected:
  ~ItemList() = default;
};

struct Args {
  ItemList* items = nullptr;  // set for kBuildItems
  int32_t itemIndex = -1;     // set for kItemClicked
};

}  // namespace ViewPaneLabelAPI

// Called on the host's main thread; other operations may come and are to be ignored.
class IViewPaneLabelHandler {
public:
  virtual void OnLabelEvent(int32_t operation, ViewPaneLabelAPI::Args& args) = 0;

protected:
  ~IViewPaneLabelHandler() = default;
};

inline constexpr VWIID IID_ViewPaneLabelService{0xAFEB015D, 0xED4D, 0x4953, {0x80, 0x6E, 0x2C, 0x4F, 0xF1, 0xE1, 0xCF, 0xEE}};
class IViewPaneLabelService : public IVWUnknown {
public:
  // Adds (or replaces) the label of `owner` in `pane`; the host builds its items at once.
  virtual bool AddLabel(int32_t pane, const TXString& owner, const TXString& text, IViewPaneLabelHandler* handler) = 0;
  virtual void RemoveLabel(int32_t pane, const TXString& owner) = 0;
};

inline constexpr size_t kViewDescriptionSize = 628;
inline constexpr size_t kViewDescriptionCameraOffset = 584;  // 4 bytes, 1 when the camera applies
inline constexpr VWIID IID_ViewDescriptionService{0x6D21F5A8, 0x4B3E, 0x47C0, {0x9F, 0x73, 0x2E, 0x81, 0x0D, 0xB6, 0x5A, 0x94}};
class IViewDescriptionService : public IVWUnknown {
public:
  // Fills kViewDescriptionSize bytes of the active view's description.
  virtual bool GetViewDescription(uint8_t* description) = 0;
};

// One entry of the mode bar's help list, per button choice.
struct SModeBarButtonHelp {
  TXString tip;
  TXString help;
  int32_t kind;  // 1
};

inline constexpr int32_t kRefreshToolMessage = 0x7FFFFFFE;
inline constexpr VWIID IID_ToolService{0x0A9E3B54, 0x6F17, 0x4C28, {0xA0, 0x6B, 0x93, 0xD4, 0x2F, 0x7C, 0x81, 0x5E}};
class IToolService : public IVWUnknown {
public:
  // Delivers `message` to the active tool's event sink (OnToolMessage) on the main thread.
  virtual void PostToolMessage(int32_t message) = 0;
  // The host rebuilds the mode bar of the tool `universalName` when it is the active one.
  virtual void RefreshTool(const TXString& universalName) = 0;
  // Adds the next mode-bar button; a button with choices passes one image per choice.
  virtual void AddButton(Sequence<TXString> images) = 0;
  virtual void SetButtonHelp(Sequence<SModeBarButtonHelp> help) = 0;
  virtual void EnableButton(int32_t index, bool enabled) = 0;
};

// How the host answers a lookup of a missing table or key.
enum EmptyTextHandling : int32_t {
  kEmptyTextGivesKey = 1,   // the key itself, so that a definition never shows blank
  kEmptyTextGivesEmpty = 2,
};
inline constexpr VWIID IID_ResourceService{0x3F5C0E92, 0x7A14, 0x4E6B, {0xBD, 0x28, 0x41, 0xC6, 0x0F, 0x93, 0x7E, 0x52}};
class IResourceService : public IVWUnknown {
public:
  // `resource` is a path inside the plug-in's resource folder, e.g. "X/Strings/Table.vwstrings".
  virtual TXString GetString(const TXString& resource, const TXString& key, int32_t emptyHandling) = 0;
  // True when the image at `path` ("X/Images/name.png") exists in the resources.
  virtual bool HasImage(const TXString& path) = 0;
};

using ScriptCallRecord = void*;
inline constexpr VWIID IID_ScriptingService{0x8B47D1C3, 0x2E95, 0x4F70, {0x84, 0x1D, 0x6C, 0x3A, 0xE9, 0x50, 0x27, 0xB8}};
class IScriptingService : public IVWUnknown {
public:
  virtual void SetBooleanResult(ScriptCallRecord call, bool result) = 0;
};
