#include "link/ColladaExporter.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "export/ColladaWriter.h"
#include "link/ExportNaming.h"
#include "link/HostRegistration.h"
#include "link/HostView.h"
#include "link/LinkName.h"
#include "link/OmbrelPlugin.h"
#include "platform/SteadyClock.h"
#include "platform/TextConversion.h"
#include "sdk/HostBinding.h"
#include "sdk/PluginIdentity.h"
#include "sdk/ResourceStrings.h"
#include "transport/TideLinkDocumentManager.h"
#include "scene/SceneOperation.h"
#include "ui/DialogUI.h"

namespace {

constexpr std::array<uint32_t, 3> kNotificationCodes{ColladaExporter::kStopCode, ColladaExporter::kTickCode,
                                                     ColladaExporter::kActivateCode};
constexpr std::u16string_view kUntitledName = u"untitled.dae";
constexpr std::chrono::milliseconds kQuietTime{5000};
constexpr std::chrono::milliseconds kGateWait{250};

std::u16string ToolText(std::u16string_view key) {
  return GetResourceString(u"TideLinkTool", key).GetStdUString();
}

int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(platform::SteadyClock::Now().time_since_epoch())
      .count();
}

std::u16string GeneratorName() { return std::u16string(kPluginName) + u" v" + std::u16string(kPluginVersion); }

}  // namespace

ColladaExporter::ColladaExporter()
    : geometry_(materials_),
      geometryLabel_(ToolText(u"dlg_export_progress_geometry")),
      texturesLabel_(ToolText(u"dlg_export_progress_textures")),
      writingLabel_(ToolText(u"dlg_export_progress_writing")) {}

ColladaExporter::~ColladaExporter() {
  if (running_) Stop();
}

int32_t ColladaExporter::Start() {
  if (running_) return 0;
  DialogUI& dialogs = DialogUI::Instance();
  if (!ViewIsExportable()) {
    dialogs.ShowTitledMessage(ui::UserMessage::PerspectiveViewExport);
    return 0;
  }
  ShowFirstExportWarning();

  std::u16string defaultName = DaeNameOf(ActiveDocumentFileName());
  if (lastFolder_.empty()) lastFolder_ = ExportFolderOf(defaultName);
  if (defaultName.empty()) defaultName = kUntitledName;
  const std::u16string chosen = dialogs.ChooseExportFile(defaultName, lastFolder_);
  if (chosen.empty()) return 0;

  running_ = true;
  done_ = false;
  started_ = false;
  succeeded_ = false;
  failureReason_.clear();
  lastFolder_ = ExportFolderOf(chosen);
  options_.path = chosen;
  options_.generatorName = GeneratorName();

  dialogs.EnableHostWindow(false);
  dialogs.ShowProgress();
  dialogs.SetProgressText(geometryLabel_);

  document_ = TideLinkDocumentManager::Instance().OpenDocument(std::u16string(kDocumentName), kDocumentBlocks);
  if (!document_) {
    Stop();
    dialogs.ShowAlreadyOpen(defaultName);
    return 0;
  }
  const GeometrySettings geometrySettings{settings_.RepairMode(), settings_.OptimizeGeometries()};
  materials_.attach(document_);
  geometry_.attach(document_, &geometrySettings);
  RegisterWithHost();
  return 1;
}

void ColladaExporter::Stop() {
  running_ = false;
  // Unregistering waits for an operation in progress, so the stores are idle from here on.
  UnregisterFromHost();
  // A batch the host never ended must not keep the next export from finishing.
  if (batchHoldsGate_.exchange(false)) batchGate_.Release();
  streamActive_ = false;
  materials_.detach();
  geometry_.detach();
  if (document_) {
    TideLinkDocumentManager::Instance().CloseDocument(document_);
    document_.reset();
  }
  DialogUI& dialogs = DialogUI::Instance();
  dialogs.EnableHostWindow(true);
  dialogs.HideProgress();
}

void ColladaExporter::OnNotification(uint32_t code, intptr_t data, void* /*context*/) {
  OmbrelPlugin::Instance().exporter().HandleNotification(code, data);
}

void ColladaExporter::HandleNotification(uint32_t code, intptr_t data) {
  switch (code) {
    case kStopCode:
      Stop();
      break;
    case kTickCode:
      Tick();
      break;
    case kActivateCode:
      if (data == 0) DialogUI::Instance().ProgressBehindHost();
      break;
    default:
      break;
  }
}

bool ColladaExporter::ViewIsExportable() const {
  // A host without layers has no view to refuse.
  if (!HostBinding::Query<ILayerService>(IID_LayerService)) return true;
  return !ActiveLayerIsSheet() && ActiveLayerIsPerspective();
}

void ColladaExporter::ShowFirstExportWarning() {
  settings_.Load();
  if (!settings_.FirstExport()) return;
  settings_.SetFirstExport(false);
  DialogUI::Instance().ShowTitledMessage(ui::UserMessage::MaterialWarning);
}

void ColladaExporter::RegisterWithHost() {
  RegisterNotifications(kNotificationCodes, &OnNotification);
  // Active before the handler is registered: the host may stream, and end its stream, at once.
  streamActive_ = true;
  RegisterSceneHandler(kHandlerName, this);
}

void ColladaExporter::UnregisterFromHost() {
  UnregisterNotifications(kNotificationCodes, &OnNotification);
  UnregisterSceneHandler(kHandlerName);
}

void ColladaExporter::OnOperation(const VGS::Operation& operation) {
  if (!running_ || !document_ || !document_->IsOpen()) return;
  switch (operation.kind) {
    case VGS::kBeginBatch:
      if (!batchHoldsGate_) {
        batchGate_.Take();
        batchHoldsGate_ = true;
      }
      started_ = true;
      break;
    case VGS::kEndBatch:
      ReleaseBatchGate();
      break;
    case VGS::kEndOfStream:
      ReleaseBatchGate();
      streamActive_ = false;
      break;
    case VGS::kViewChanged:
      Finish();
      break;
    default:
      ApplySceneOperation(operation, geometry_, materials_);
      break;
  }
}

void ColladaExporter::ReleaseBatchGate() {
  if (batchHoldsGate_.exchange(false)) batchGate_.Release();
  lastBatchEnd_ = SteadyNanoseconds();
}

void ColladaExporter::Tick() {
  if (!running_) {
    Stop();
    return;
  }
  if (!streamActive_) {
    Stop();
    DialogUI::Instance().ShowTitledMessage(ui::UserMessage::ExportCanceled);
    return;
  }
  const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::nanoseconds(SteadyNanoseconds() - lastBatchEnd_));
  // A batch still filling the stores is not quiet, however long ago the previous one ended.
  if (started_ && !batchHoldsGate_ && quiet > kQuietTime) {
    if (!batchGate_.TakeUntil(std::chrono::steady_clock::now() + kGateWait)) return;
    const bool nothingToExport = geometry_.instanceCount() == 0;
    if (!nothingToExport) Finish();
    // Released before stopping: stopping waits for the scene-change thread, which may be
    // waiting for this gate at the start of a new batch.
    batchGate_.Release();
    if (nothingToExport) {
      Stop();
      DialogUI::Instance().ShowExportFailed(options_.path);
      return;
    }
  }
  if (done_) {
    Stop();
    // A file that could not be written must not pass for one that was, nor for a view with
    // nothing to export.
    if (succeeded_) {
      DialogUI::Instance().ShowExportComplete(options_.path);
    } else {
      DialogUI::Instance().ShowExportNotWritten(options_.path, failureReason_);
    }
  }
}

void ColladaExporter::Finish() {
  std::lock_guard lock(finishMutex_);
  if (done_) return;
  if (geometry_.hasPending() || materials_.hasPending()) {
    materials_.flush();
    geometry_.flush();
  }
  options_.exportNodes = true;
  options_.nodeTransforms = geometry_.nonIdentityTransforms();
  auto writingShown = std::make_shared<std::atomic<bool>>(false);
  options_.progress = [this, writingShown](float, std::u16string) {
    if (!writingShown->exchange(true)) DialogUI::Instance().SetProgressText(writingLabel_);
  };
  DialogUI::Instance().SetProgressText(texturesLabel_);
  ColladaWriter writer(options_);
  succeeded_ = document_->ExportCollada(writer) == 0;
  // The writer was not reached when the document could not hand over its surfaces.
  const std::string reason = writer.failureReason().empty() && !succeeded_
                                 ? std::generic_category().message(EIO)
                                 : writer.failureReason();
  failureReason_ = platform::Utf16FromUtf8(reason);
  done_ = true;
}
