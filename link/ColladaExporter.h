#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/BatchGate.h"
#include "link/SettingsStore.h"
#include "scene/SceneGeometryCache.h"
#include "scene/SceneMaterialSet.h"
#include "sdk/HostServices.h"
#include "transport/ColladaExportOptions.h"
#include "transport/TideLinkDocument.h"

// The "save as COLLADA" command. Start asks for a file and opens a temporary link document; the
// host then streams the drawing into the exporter's own stores on its scene-change thread, and
// the file is written when the host reports the view (kind 15) or has been quiet for five seconds.
// Host notifications drive it from there: 'AFTE' ticks, 'APSD' stops, 'AppA' re-stacks the
// progress window. One per process, owned by the link controller.
class ColladaExporter final : private ISceneOperationHandler {
public:
  static constexpr uint32_t kStopCode = 0x41505344;      // 'APSD'
  static constexpr uint32_t kTickCode = 0x41465445;      // 'AFTE'
  static constexpr uint32_t kActivateCode = 0x41707041;  // 'AppA'
  static constexpr std::u16string_view kHandlerName = u"ColladaExporterPlugin";
  static constexpr std::u16string_view kDocumentName = u"TemporaryColladaDocument";
  static constexpr uint64_t kDocumentBlocks = 5000;

  ColladaExporter();
  ~ColladaExporter();
  ColladaExporter(const ColladaExporter&) = delete;
  ColladaExporter& operator=(const ColladaExporter&) = delete;

  // Main thread. 1 when an export has been started, 0 when it is already running, a check failed
  // or the user cancelled the file dialog.
  int32_t Start();
  // Ends the export whatever its state: handlers unregistered, stores emptied, the document
  // closed, the host window enabled and the progress window gone. Safe when nothing runs.
  void Stop();
  // The host notification entry, registered for each of the three codes.
  static void OnNotification(uint32_t code, intptr_t data, void* context);

private:
  void OnOperation(const VGS::Operation& operation) override;
  void HandleNotification(uint32_t code, intptr_t data);
  void Tick();
  void Finish();
  bool ViewIsExportable() const;
  void ShowFirstExportWarning();
  void ReleaseBatchGate();
  void RegisterWithHost();
  void UnregisterFromHost();

  std::shared_ptr<TideLinkDocument> document_;
  SceneMaterialSet materials_;
  SceneGeometryCache geometry_;
  SettingsStore settings_;
  ColladaExportOptions options_;
  std::u16string lastFolder_;
  BatchGate batchGate_;
  // Flags that the scene-change thread and the main thread both read are atomic.
  std::atomic<bool> batchHoldsGate_{false};
  std::atomic<bool> started_{false};
  std::atomic<int64_t> lastBatchEnd_{0};
  std::atomic<bool> running_{false};
  std::atomic<bool> done_{false};
  std::atomic<bool> succeeded_{false};
  // Why the file was not written; set before `done_`, read after it.
  std::u16string failureReason_;
  std::atomic<bool> streamActive_{false};
  // A view report and a quiet-time tick may both want to finish; only the first one writes.
  std::mutex finishMutex_;
  const std::u16string geometryLabel_;
  const std::u16string texturesLabel_;
  const std::u16string writingLabel_;
};
