#include "link/OmbrelPlugin.h"

#include <chrono>

#include "diag/DebugLog.h"
#include "link/HostRegistration.h"
#include "link/HostView.h"
#include "link/LinkName.h"
#include "link/LinkStatus.h"
#include "renderer/InstallDiscovery.h"
#include "renderer/RendererLaunch.h"
#include "renderer/RendererVersion.h"
#include "scene/SceneOperation.h"
#include "sdk/HostBinding.h"
#include "transport/TideLinkDocumentManager.h"
#include "ui/DialogUI.h"
#include "ui/WebAddresses.h"

namespace {

constexpr std::chrono::milliseconds kSceneLockWait{250};

struct SharedInstance {
  std::mutex mutex;
  std::unique_ptr<OmbrelPlugin> plugin;
};

SharedInstance& shared() {
  static SharedInstance state;
  return state;
}

}  // namespace

OmbrelPlugin& OmbrelPlugin::Instance() {
  auto& state = shared();
  std::lock_guard lock(state.mutex);
  if (!state.plugin) state.plugin = std::make_unique<OmbrelPlugin>();
  return *state.plugin;
}

void OmbrelPlugin::DestroyInstance() {
  auto& state = shared();
  OmbrelPlugin* running = nullptr;
  {
    std::lock_guard lock(state.mutex);
    running = state.plugin.get();
  }
  // Stopped while it is still the instance: the refresh of the tool on the way asks for it, and
  // must not create a new one that would outlive the module.
  if (running) running->Stop(false);
  std::unique_ptr<OmbrelPlugin> plugin;
  {
    std::lock_guard lock(state.mutex);
    plugin = std::move(state.plugin);
  }
}

OmbrelPlugin::OmbrelPlugin() : exporter_(std::make_unique<ColladaExporter>()), label_(*this) {}

OmbrelPlugin::~OmbrelPlugin() { Stop(false); }

LinkState OmbrelPlugin::GetState() const {
  if (!IsActive()) return LinkState::kIdle;
  return paused_ ? LinkState::kPaused : LinkState::kRunning;
}

bool OmbrelPlugin::Start() {
  if (linkOpen_) {
    // A link that belongs to another drawing is replaced; one of the active drawing stays.
    if (!documentMatches_) Stop(true);
    if (linkOpen_) return false;
  }
  SetStatus(u"status_tl_initializing", kStatusNeutral);
  AskAboutRenderer();

  const std::u16string linkName = DaeNameOf(ActiveDocumentFileName());
  DialogUI& dialogs = DialogUI::Instance();
  if (linkName.empty()) {
    dialogs.ShowTitledMessage(ui::UserMessage::SaveFirst);
    SetStatus(u"", kStatusNeutral);
    return false;
  }
  if (ActiveLayerIsSheet()) {
    dialogs.ShowTitledMessage(ui::UserMessage::SheetLayerInit);
    // The start has ended; "starting" would stay on show otherwise.
    SetStatus(u"", kStatusNeutral);
    return false;
  }
  settings_.Load();
  if (settings_.FirstTideLink()) {
    settings_.SetFirstTideLink(false);
    dialogs.ShowTitledMessage(ui::UserMessage::MaterialWarning);
  }

  document_ = TideLinkDocumentManager::Instance().OpenDocument(linkName, kDocumentBlocks);
  if (!document_) {
    dialogs.ShowAlreadyOpen(linkName);
    SetStatus(u"", kStatusNeutral);
    return false;
  }
  const GeometrySettings geometrySettings{settings_.RepairMode(), settings_.OptimizeGeometries()};
  materials_.attach(document_);
  geometry_.attach(document_, &geometrySettings);
  linkOpen_ = true;
  paused_ = false;
  documentMatches_ = true;
  PrepareView();
  Register();
  cameraSync_ = settings_.CameraAutoSync();
  cameraAvailable_ = EvaluateCameraCondition();
  RefreshInterface();
  SetStatus(u"status_tl_started", kStatusNormal);
  return true;
}

// The two questions of a start; the start goes on whatever the answers.
void OmbrelPlugin::AskAboutRenderer() {
  DialogUI& dialogs = DialogUI::Instance();
  const std::u16string minimum = FormatVersion(minimumRendererVersion);
  const RendererVersion installed = FindInstalledVersion();
  if (IsNone(installed) || Less(installed, minimumRendererVersion)) {
    if (dialogs.AskOldVersion(minimum)) dialogs.OpenWebAddress(ui::kMakerSiteAddress);
  }
  if (IsNone(FindRunningVersion(true))) {
    if (dialogs.AskNotRunning(minimum)) {
      LaunchRenderer(installed, u"", 0);
    } else {
      SetStatus(u"", kStatusNeutral);
    }
  }
}

void OmbrelPlugin::Register() {
  RegisterNotifications(kNotificationCodes, &OnNotification);
  // Set before the handler exists: the service may end its stream (kind 4) at once.
  serviceRegistered_ = true;
  if (auto sceneChanges = HostBinding::Query<ISceneChangeService>(IID_SceneChangeService)) {
    RegisterSceneHandler(kHandlerName, this);
    int32_t pane = PaneLabelUI::kNotAttached;
    sceneChanges->GetActiveView(startViewId_, pane);
    startPane_ = pane;
    label_.Attach(static_cast<int32_t>(startPane_));
  }
}

void OmbrelPlugin::Stop(bool disconnected) {
  if (!linkOpen_) return;
  UnregisterNotifications(kNotificationCodes, &OnNotification);
  // Unregistering waits for an operation in progress, so the stores are idle from here on.
  UnregisterSceneHandler(kHandlerName);
  serviceRegistered_ = false;
  startViewId_ = 0;
  linkOpen_ = false;
  paused_ = false;
  commitOwed_ = false;
  cameraSync_ = false;
  cameraAvailable_ = false;
  // A batch the host never ended must not hold the lock into the next link.
  if (batchHoldsLock_.exchange(false)) sceneLock_.Release();
  materials_.detach();
  geometry_.detach();
  if (document_) {
    TideLinkDocumentManager::Instance().CloseDocument(document_);
    document_.reset();
  }
  {
    std::lock_guard lock(cameraMutex_);
    camera_.fieldOfView = LinkCamera{}.fieldOfView;
  }
  RefreshInterface();
  if (disconnected) {
    SetStatus(u"status_tl_disconnected", kStatusWarning);
  } else {
    SetStatus(u"status_tl_stopped", kStatusNormal);
  }
}

bool OmbrelPlugin::Resume() {
  if (!linkOpen_ || !document_ || !document_->IsOpen() || !IsLinkedDocumentActive()) return false;
  if (ActiveLayerIsSheet()) {
    DialogUI::Instance().ShowTitledMessage(ui::UserMessage::SheetLayerResume);
    return false;
  }
  PrepareView();
  cameraAvailable_ = EvaluateCameraCondition();
  RefreshInterface();
  SetStatus(u"status_tl_resumed", kStatusNormal);
  // The pause itself is the next tick's to re-evaluate.
  return true;
}

void OmbrelPlugin::SaveAsCollada() {
  if (linkOpen_) Stop(true);
  exporter_->Start();
}

void OmbrelPlugin::RefreshInterface() {
  if (auto tools = HostBinding::Query<IToolService>(IID_ToolService)) tools->PostToolMessage(kRefreshToolMessage);
  label_.Update();
}

bool OmbrelPlugin::IsLinkedDocumentActive() const {
  if (!linkOpen_ || !document_ || !document_->IsOpen()) return false;
  return DaeNameOf(ActiveDocumentFileName()) == document_->GetName();
}

void OmbrelPlugin::OnNotification(uint32_t code, intptr_t /*data*/, void* /*context*/) {
  Instance().HandleNotification(code);
}

void OmbrelPlugin::HandleNotification(uint32_t code) {
  if (!linkOpen_) return;
  switch (code) {
    case kQuitCode:
      Stop(false);
      break;
    case kTickCode:
      Tick();
      break;
    case kDocumentChangedCode:
      documentMatches_ = IsLinkedDocumentActive();
      break;
    case kDocumentClosingCode:
      if (IsLinkedDocumentActive()) {
        DebugLog("Active document has been closed - stop tideLink\n\b%s", "");
        Stop(true);
      }
      break;
    case kDocumentSavedCode:
      if (!IsLinkedDocumentActive()) {
        DebugLog("Document has been saved under different name - stop tideLink\n\b%s", "");
        Stop(true);
      }
      break;
    case kNotificationCodes[2]:
    case kNotificationCodes[3]:
    case kNotificationCodes[8]:
      RefreshInterface();
      break;
    default:
      break;
  }
}

void OmbrelPlugin::Tick() {
  if (!serviceRegistered_ || (document_ && document_->IsClosedByRenderer())) {
    Stop(true);
    return;
  }
  const bool camera = EvaluateCameraCondition();
  const bool pause = IsPauseConditionTrue();
  if (pause != paused_ || camera != cameraAvailable_) {
    if (pause != paused_) {
      if (pause) {
        SetStatus(u"status_tl_paused", kStatusWarning);
      } else {
        SetStatus(u"status_tl_resumed", kStatusNormal);
      }
    } else if (camera) {
      SetStatus(u"status_cam_resumed", kStatusNormal);
    } else {
      SetStatus(u"status_cam_paused", kStatusWarning);
    }
    paused_ = pause;
    cameraAvailable_ = camera;
    RefreshInterface();
  }
  if (pause && !camera) return;
  // Asked without the lock: an arrival flag, not the stores, which the delivery thread may be
  // filling. The stores themselves are looked at only under the lock.
  if (!changesArrived_ && !commitOwed_) return;
  if (!sceneLock_.TakeUntil(std::chrono::steady_clock::now() + kSceneLockWait)) return;
  changesArrived_ = false;
  if (materials_.hasPending() || geometry_.hasPending() || commitOwed_) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point flushStart = Clock::now();
    materials_.flush();
    geometry_.flush();
    const Clock::time_point commitStart = Clock::now();
    const uint32_t commitsBefore = document_->GetCommitCount();
    document_->Commit();
    const Clock::time_point commitEnd = Clock::now();
    // A commit that found the renderer holding the shared lock is tried again at the next tick,
    // not only after the next edit.
    commitOwed_ = document_->HasUncommittedChanges();
    const auto milliseconds = [](Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); };
    if (commitOwed_ && document_->GetCommitCount() == commitsBefore) {
      DebugLog("Commit waited %.3f ms for the renderer's lock in vain; to be tried again at the next tick",
               milliseconds(commitEnd - commitStart));
    } else if (document_->GetCommitCount() != commitsBefore) {
      DebugLog("Commit %u: flush %.3f ms, commit %.3f ms", document_->GetCommitCount(),
               milliseconds(commitStart - flushStart), milliseconds(commitEnd - commitStart));
    }
  }
  sceneLock_.Release();
}

void OmbrelPlugin::OnOperation(const VGS::Operation& operation) {
  if (!linkOpen_ || !document_ || !document_->IsOpen() || !documentMatches_) return;
  switch (operation.kind) {
    case VGS::kBeginBatch:
      if (!batchHoldsLock_) {
        sceneLock_.Take();
        batchHoldsLock_ = true;
      }
      break;
    case VGS::kEndBatch:
      if (batchHoldsLock_.exchange(false)) sceneLock_.Release();
      break;
    case VGS::kEndOfStream:
      if (batchHoldsLock_.exchange(false)) sceneLock_.Release();
      serviceRegistered_ = false;
      break;
    case VGS::kViewChanged:
      if (cameraAvailable_ && operation.data) {
        WithSceneLock([&] { UpdateCamera(*static_cast<const VGS::CameraReport*>(operation.data)); });
      }
      break;
    default:
      if (IsStoreOperation(operation.kind)) {
        WithSceneLock([&] { ApplySceneOperation(operation, geometry_, materials_); });
        changesArrived_ = true;
      }
      break;
  }
}

// Inside a batch the batch already holds the lock; a record the host sends outside one takes it
// for itself, so that it never meets the tick's flush.
template <class Work>
void OmbrelPlugin::WithSceneLock(Work&& work) {
  if (batchHoldsLock_) {
    work();
    return;
  }
  sceneLock_.Take();
  work();
  sceneLock_.Release();
}

bool OmbrelPlugin::EvaluateCameraCondition() const {
  if (!IsActive()) return false;
  if (!IsHostViewOn()) return false;
  if (CurrentViewId() != startViewId_) return false;
  return !ActiveLayerIsSheet() && ActiveLayerIsPerspective();
}

void OmbrelPlugin::UpdateCamera(const VGS::CameraReport& report) {
  if (!linkOpen_ || !document_ || !document_->IsOpen()) return;
  const std::optional<LinkCamera> camera = CameraFromReport(report);
  {
    std::lock_guard lock(cameraMutex_);
    if (!camera) {
      // Nothing reaches the renderer, but a later switch-on clears its camera.
      camera_.fieldOfView = LinkCamera{}.fieldOfView;
      return;
    }
    camera_ = *camera;
  }
  if (cameraSync_) SendCamera();
}

void OmbrelPlugin::SendCamera() {
  if (!linkOpen_ || !document_ || !document_->IsOpen()) return;
  std::lock_guard lock(cameraMutex_);
  if (camera_.HasCamera()) {
    document_->SetCamera(camera_.matrix.data(), camera_.fieldOfView);
  } else {
    document_->ClearCamera();
  }
}

bool OmbrelPlugin::SetCameraSync(bool on) {
  if (!linkOpen_ || !document_ || !document_->IsOpen() || !cameraAvailable_ || cameraSync_ == on) return false;
  cameraSync_ = on;
  if (on) {
    SendCamera();
    SetStatus(u"status_cam_started", kStatusNormal);
  } else {
    {
      std::lock_guard lock(cameraMutex_);
      document_->ClearCamera();
    }
    SetStatus(u"status_cam_stopped", kStatusWarning);
  }
  RefreshInterface();
  return true;
}

void OmbrelPlugin::ToggleCamera() {
  if (cameraAvailable_) {
    SetCameraSync(!cameraSync_);
  } else {
    ResumeCamera();
  }
}

bool OmbrelPlugin::ResumeCamera() {
  if (ActiveLayerIsSheet()) {
    DialogUI::Instance().ShowTitledMessage(ui::UserMessage::SheetLayerCameraResume);
    return false;
  }
  if (CurrentViewId() != startViewId_) ActivatePane(static_cast<int32_t>(startPane_));
  PrepareView();
  const bool camera = EvaluateCameraCondition();
  if (camera != cameraAvailable_) {
    cameraAvailable_ = camera;
    RefreshInterface();
  }
  if (cameraAvailable_) SetStatus(u"status_cam_resumed", kStatusNormal);
  return cameraAvailable_;
}
