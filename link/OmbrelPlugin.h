#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/BatchGate.h"
#include "link/ColladaExporter.h"
#include "link/LinkCamera.h"
#include "link/PaneLabelUI.h"
#include "link/SettingsStore.h"
#include "scene/SceneGeometryCache.h"
#include "scene/SceneMaterialSet.h"
#include "sdk/HostServices.h"
#include "transport/TideLinkDocument.h"

// What the tool, the label and the scripts are told of the link.
enum class LinkState : int32_t { kIdle = 0, kPaused = 1, kRunning = 2 };

// The process-wide link controller: it starts, pauses, resumes and stops the live link between
// the active drawing and the renderer. The host's notifications and the tool's commands reach it
// on the main thread; scene operations arrive on the scene-change service's delivery thread and
// only fill the stores, which each 'AFTE' tick flushes and commits under the scene lock. Created on
// first use by whichever extension or host notification needs it, destroyed at module unload.
// It creates no thread and no timer of its own.
class OmbrelPlugin final : private ISceneOperationHandler {
public:
  static constexpr uint32_t kQuitCode = 0x41505344;            // 'APSD'
  static constexpr uint32_t kTickCode = 0x41465445;            // 'AFTE'
  static constexpr uint32_t kDocumentChangedCode = 0x444F4343;  // 'DOCC'
  static constexpr uint32_t kDocumentClosingCode = 0x44434C53;  // 'DCLS'
  static constexpr uint32_t kDocumentSavedCode = 0x64637073;    // 'dcps'
  // In the order they are registered.
  static constexpr std::array<uint32_t, 9> kNotificationCodes{
      kQuitCode,  kTickCode, 0x4D564968 /* 'MVIh' */, 0x4D564973 /* 'MVIs' */, 0x64636F70 /* 'dcop' */,
      kDocumentChangedCode, kDocumentClosingCode, kDocumentSavedCode, 0x4D564961 /* 'MVIa' */};
  static constexpr std::u16string_view kHandlerName = u"OmbrelTideLinkPlugin";
  static constexpr uint64_t kDocumentBlocks = 5000;

  static OmbrelPlugin& Instance();
  // Stops a running link ("stopped") and destroys the instance; the next Instance() makes a new one.
  static void DestroyInstance();

  OmbrelPlugin();
  ~OmbrelPlugin();
  OmbrelPlugin(const OmbrelPlugin&) = delete;
  OmbrelPlugin& operator=(const OmbrelPlugin&) = delete;

  // Opens a link for the active drawing, asking about a missing, old or stopped renderer on the
  // way; true when a link was opened. False, without a word, while the active drawing is linked.
  bool Start();
  // Ends the link; `disconnected` only chooses the status text. Nothing happens without a link.
  void Stop(bool disconnected);
  // Prepares the view again after a pause; false when there is no link of the active drawing or a
  // sheet layer is active.
  bool Resume();
  // Stops a running link, then saves the drawing as COLLADA.
  void SaveAsCollada();
  // Switches camera synchronisation; false unless the link is open, the camera is available and
  // the setting changes.
  bool SetCameraSync(bool on);
  // Brings back the pane and view the link was started in; true when the camera is available.
  bool ResumeCamera();
  // The camera button and the label's camera icon: switches synchronisation while the camera is
  // available, else tries to bring it back.
  void ToggleCamera();

  LinkState GetState() const;
  bool IsActive() const { return linkOpen_ && documentMatches_; }
  bool GetCameraSync() const { return cameraSync_; }
  bool IsCameraAvailable() const { return cameraAvailable_; }

  // The host's notification entry, registered for each of kNotificationCodes.
  static void OnNotification(uint32_t code, intptr_t data, void* context);
  // Rebuilds the tool's mode bar and the view-pane label.
  void RefreshInterface();

  SettingsStore& settings() { return settings_; }
  ColladaExporter& exporter() { return *exporter_; }

private:
  void HandleNotification(uint32_t code);
  void OnOperation(const VGS::Operation& operation) override;
  void Tick();
  void Register();
  bool IsLinkedDocumentActive() const;
  bool ReportsRenderer();
  void AskAboutRenderer();
  bool EvaluateCameraCondition() const;
  template <class Work>
  void WithSceneLock(Work&& work);
  void UpdateCamera(const VGS::CameraReport& report);
  void SendCamera();

  // Guarded by the owner's threads as the controller documents: the main thread writes these,
  // the delivery thread reads the first three and the camera flag.
  std::atomic<bool> linkOpen_{false};
  bool paused_ = false;
  std::atomic<bool> documentMatches_{false};
  std::shared_ptr<TideLinkDocument> document_;
  SceneMaterialSet materials_;
  SceneGeometryCache geometry_{materials_};
  SettingsStore settings_;
  std::unique_ptr<ColladaExporter> exporter_;
  // Held by an open batch from its begin to its end, and by the tick's flush and commit.
  BatchGate sceneLock_;
  std::atomic<bool> batchHoldsLock_{false};
  int64_t startViewId_ = 0;
  int64_t startPane_ = 0;
  PaneLabelUI label_;
  std::atomic<bool> cameraSync_{false};
  std::atomic<bool> cameraAvailable_{false};
  // The last camera worked out from a view report (no field of view when there is none); written
  // on the delivery thread, sent from either thread.
  std::mutex cameraMutex_;
  LinkCamera camera_;
  std::atomic<bool> serviceRegistered_{false};
  // A store operation arrived since the last flush; lets the tick skip the lock when idle.
  std::atomic<bool> changesArrived_{false};
  // The last commit left changes unwritten; main thread only.
  bool commitOwed_ = false;
};
