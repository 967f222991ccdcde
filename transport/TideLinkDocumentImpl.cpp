#include "transport/TideLinkDocumentImpl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>


#include "diag/DebugLog.h"
#include "platform/Environment.h"
#include "platform/Parallel.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "transport/TideLinkDocumentManager.h"
#include "transport/TideLinkSurfaceImpl.h"

namespace {

constexpr uint32_t kCommitLockTimeoutMicroseconds = 10000;
// Test only: how long a commit that wrote something waits before it advances the header and lets
// go of the lock, so that a test can end the process in the middle of one.
const uint32_t gCommitPauseMilliseconds = platform::GetEnvironmentMilliseconds("TIDELINK_COMMIT_PAUSE_MS");
constexpr uint32_t kFreeRecordClosed = 0xFFFFFFFF;
constexpr size_t kHostCameraFlagOffset = kViewDescriptionCameraOffset;

static_assert(kViewDescriptionSize == wire::kViewDescriptionBytes);

void NotifyRenderer() {
  TideLinkDocumentManager::Instance().NotifyRenderer(wire::kUpdateMessageWParam, 0);
}

// Export node numbers are unique within the process; the first node is 1.
std::atomic<uint64_t> exportNodeCounter{0};

std::string NextExportNodeId() {
  char id[20];
  const int length = std::snprintf(id, sizeof(id), "%" PRIX64, uint64_t{++exportNodeCounter});
  return std::string(id, length);
}

std::u16string NumberedName(const std::u16string& base, uint32_t number) {
  const std::string digits = std::to_string(number);
  return base + u"(" + std::u16string(digits.begin(), digits.end()) + u")";
}

}  // namespace

std::shared_ptr<TideLinkDocumentImpl> TideLinkDocumentImpl::Create(const std::u16string& name,
                                                                   uint64_t blockCount) {
  return std::make_shared<TideLinkDocumentImpl>(ConstructionKey{}, name, blockCount);
}

TideLinkDocumentImpl::TideLinkDocumentImpl(ConstructionKey, const std::u16string& name,
                                           uint64_t blockCount)
    : processId_(platform::GetCurrentProcessId()) {
  lastError_ = static_cast<uint32_t>(channel_.Open(SharedMemoryChannel::MappingName(name), blockCount, processId_));
  if (lastError_ != 0) return;
  name_ = name;
  viewRecord_ = channel_.AllocateRecord(wire::kTagView);
  statusRecord_ = channel_.AllocateRecord(wire::kTagStatus);
}

TideLinkDocumentImpl::~TideLinkDocumentImpl() { Close(); }

bool TideLinkDocumentImpl::IsOpen() const { return channel_.IsOpen(); }

bool TideLinkDocumentImpl::IsClosedByRenderer() const {
  return TestFlags(wire::kFlagClosedByRenderer) != 0;
}

std::u16string TideLinkDocumentImpl::GetName() const { return name_; }

TideLinkDocumentImpl::ObjectList TideLinkDocumentImpl::ObjectsIn(const ObjectSet& objects) const {
  std::lock_guard lock(objectsMutex_);
  return ObjectList(objects.begin(), objects.end());
}

void TideLinkDocumentImpl::DetachAll(ObjectSet& objects) {
  ObjectSet taken;
  {
    std::lock_guard lock(objectsMutex_);
    taken.swap(objects);
  }
  for (const auto& object : taken) object->Detach();
}

void TideLinkDocumentImpl::Close() {
  if (!IsOpen()) return;
  if (!name_.empty()) TideLinkDocumentManager::UnregisterConnection(name_);
  Unlock();
  DetachAll(liveObjects_);
  // Removed surfaces still point into the mapping; they must let go before it is unmapped.
  DetachAll(removedObjects_);
  channel_.Close();
  viewRecord_ = nullptr;
  statusRecord_ = nullptr;
  name_.clear();
}

bool TideLinkDocumentImpl::IsNameTaken(const std::u16string& candidate, uint32_t selfId) const {
  std::lock_guard lock(objectsMutex_);
  return std::any_of(liveObjects_.begin(), liveObjects_.end(), [&](const auto& object) {
    if (object->GetRecordId() == selfId || object->GetTag() != wire::kTagSurface) return false;
    const auto* surface = dynamic_cast<const TideLinkSurfaceImpl*>(object.get());
    return surface && surface->GetName() == candidate;
  });
}

std::u16string TideLinkDocumentImpl::MakeUniqueName(const std::u16string& name,
                                                    const TideLinkSurface* self) const {
  const auto* selfObject = dynamic_cast<const TideLinkObjectImpl*>(self);
  const uint32_t selfId = selfObject ? selfObject->GetRecordId() : 0;
  std::u16string candidate = name;
  for (uint32_t number = 1; IsNameTaken(candidate, selfId); ++number) {
    candidate = NumberedName(name, number);
  }
  return candidate;
}

std::shared_ptr<TideLinkSurface> TideLinkDocumentImpl::CreateSurface(const std::u16string& name,
                                                                     bool allowRename) {
  if (!IsOpen()) return nullptr;
  const std::u16string candidate = MakeUniqueName(name, nullptr);
  if (!allowRename && candidate != name) return nullptr;
  // A full document gives no record; the surface exists (and is exported) but never reaches the
  // renderer, which is said once, here.
  wire::RecordHeader* record = channel_.AllocateRecord(wire::kTagSurface);
  if (!record) {
    DebugLog("TideLink document %s is full: surface %s is left out of the link",
             platform::Utf8FromUtf16(name_).c_str(), platform::Utf8FromUtf16(candidate).c_str());
  }
  auto surface = std::make_shared<TideLinkSurfaceImpl>(weak_from_this(), record);
  surface->SetName(candidate, false);
  std::lock_guard lock(objectsMutex_);
  liveObjects_.insert(surface);
  return surface;
}

void TideLinkDocumentImpl::RemoveSurface(const std::shared_ptr<TideLinkSurface>& surface) {
  const auto object = std::dynamic_pointer_cast<TideLinkObjectImpl>(surface);
  if (!object) return;
  std::lock_guard lock(objectsMutex_);
  if (liveObjects_.erase(object) == 0) return;
  removedObjects_.insert(object);
}

void TideLinkDocumentImpl::Commit() {
  if (!Lock(kCommitLockTimeoutMicroseconds)) return;
  bool changed = false;
  ObjectSet removed;
  {
    std::lock_guard lock(objectsMutex_);
    removed.swap(removedObjects_);
  }
  for (const auto& object : removed) changed |= object->Detach();
  // Segments replaced at the previous commit, whose successors the renderer has been told about,
  // and those of the surfaces just removed. Segments replaced by the flush below wait for the
  // next commit.
  channel_.ReleaseQueuedSegments();
  for (const auto& object : ObjectsIn(liveObjects_)) {
    if (object->IsDirty()) changed |= object->Flush();
  }
  if (changed && gCommitPauseMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(gCommitPauseMilliseconds));
  }
  if (changed) SetFlags(wire::kFlagChanged);
  Unlock();
  committedChange_ |= changed;
  bool announcedNow = false;
  if (committedChange_ && !registered_) {
    // Without the announcement no renderer ever finds the link, so a write that failed (the
    // registry was busy, say) is tried again at each commit until it is there.
    registered_ = name_.empty() || TideLinkDocumentManager::RegisterConnection(name_);
    announcedNow = registered_;
  }
  if (changed || announcedNow) NotifyRenderer();
}

bool TideLinkDocumentImpl::HasUncommittedChanges() const {
  if (!IsOpen()) return false;
  std::lock_guard lock(objectsMutex_);
  if (!removedObjects_.empty() || (committedChange_ && !registered_)) return true;
  return std::any_of(liveObjects_.begin(), liveObjects_.end(), [](const auto& object) { return object->IsDirty(); });
}

std::vector<std::shared_ptr<const TideLinkSurfaceImpl>>
TideLinkDocumentImpl::SurfacesInCreationOrder() const {
  std::vector<std::shared_ptr<const TideLinkSurfaceImpl>> surfaces;
  for (const auto& object : ObjectsIn(liveObjects_)) {
    if (auto surface = std::dynamic_pointer_cast<const TideLinkSurfaceImpl>(object)) {
      surfaces.push_back(std::move(surface));
    }
  }
  // Record ids count up as surfaces are created; surfaces of a full document have none, and
  // their names keep them apart.
  std::sort(surfaces.begin(), surfaces.end(), [](const auto& left, const auto& right) {
    const uint32_t leftId = left->GetRecordId(), rightId = right->GetRecordId();
    return leftId != rightId ? leftId < rightId : left->GetName() < right->GetName();
  });
  return surfaces;
}

int32_t TideLinkDocumentImpl::ExportCollada(ExportNodeWriter& writer) {
  if (!IsOpen()) return kExportDocumentClosed;
  try {
    const auto surfaces = SurfacesInCreationOrder();
    const bool optimize = writer.options().optimizeSurfaces;
    std::vector<std::unique_ptr<ExportNode>> nodes(surfaces.size());
    platform::ParallelFor(0, surfaces.size(), 1, [&](size_t begin, size_t end) {
      for (size_t index = begin; index < end; ++index) {
        nodes[index] = surfaces[index]->BuildExportNode(optimize);
      }
    });
    for (auto& node : nodes) {
      if (!node) continue;
      node->id = NextExportNodeId();
      writer.AddNode(std::move(node));
    }
    return writer.Write() ? 0 : kExportWriteFailed;
  } catch (int32_t code) {
    // A thrown 0 would read as success.
    return code != 0 ? code : kExportWriteFailed;
  } catch (...) {
    return kExportWriteFailed;
  }
}

wire::ViewRecord* TideLinkDocumentImpl::BeginViewChange() {
  if (!IsOpen() || !viewRecord_) return nullptr;
  channel_.ClearRecordFlags(viewRecord_, wire::kFlagChanged);
  return reinterpret_cast<wire::ViewRecord*>(viewRecord_);
}

void TideLinkDocumentImpl::FinishViewChange(wire::ViewRecord* view) {
  channel_.MarkRecord(&view->record, wire::kFlagChanged);
  NotifyRenderer();
}

void TideLinkDocumentImpl::SetCamera(const float* matrix, float fieldOfView) {
  if (!matrix) return;
  wire::ViewRecord* view = BeginViewChange();
  if (!view) return;
  view->enabled = 1;
  view->fieldOfView = fieldOfView;
  std::memcpy(view->matrix, matrix, sizeof(view->matrix));
  FinishViewChange(view);
}

void TideLinkDocumentImpl::ClearCamera() {
  wire::ViewRecord* view = BeginViewChange();
  if (!view) return;
  view->enabled = 0;
  FinishViewChange(view);
}

void TideLinkDocumentImpl::SetViewFromHost(IViewDescriptionService* host) {
  if (!host || !IsOpen() || !viewRecord_) return;
  // Asked before the record is touched, so a host that fails leaves the camera as it was.
  uint8_t description[wire::kViewDescriptionBytes];
  if (!host->GetViewDescription(description)) return;
  wire::ViewRecord* view = BeginViewChange();
  uint32_t cameraApplies;
  std::memcpy(&cameraApplies, description + kHostCameraFlagOffset, sizeof(cameraApplies));
  view->enabled = cameraApplies == 1 ? 1 : 0;
  std::memcpy(reinterpret_cast<uint8_t*>(view) + wire::kViewDescriptionOffset, description,
              sizeof(description));
  FinishViewChange(view);
}

uint32_t TideLinkDocumentImpl::GetLastError() const { return lastError_; }
bool TideLinkDocumentImpl::Lock(uint32_t timeout) { return channel_.Lock(timeout); }
uint32_t TideLinkDocumentImpl::Unlock() { return channel_.Unlock(); }
void TideLinkDocumentImpl::SetFlags(uint32_t mask) { channel_.SetFlags(mask); }
void TideLinkDocumentImpl::ClearFlags(uint32_t mask) { channel_.ClearFlags(mask); }
uint32_t TideLinkDocumentImpl::TestFlags(uint32_t mask) const { return channel_.TestFlags(mask); }
void TideLinkDocumentImpl::SetCommitCount(uint32_t value) { channel_.SetCommitCount(value); }
uint32_t TideLinkDocumentImpl::GetCommitCount() const { return channel_.GetCommitCount(); }

wire::RecordHeader* TideLinkDocumentImpl::AllocateRecord(uint32_t tag) {
  return channel_.AllocateRecord(tag);
}

void TideLinkDocumentImpl::ForgetRecord(const wire::RecordHeader* record) {
  if (!record) return;
  if (viewRecord_ == record) viewRecord_ = nullptr;
  if (statusRecord_ == record) statusRecord_ = nullptr;
  for (const ObjectSet* objects : {&liveObjects_, &removedObjects_}) {
    for (const auto& object : ObjectsIn(*objects)) {
      if (object->GetRecord() == record) object->TideLinkObjectImpl::Detach();
    }
  }
}

uint32_t TideLinkDocumentImpl::FreeRecord(uint32_t id) {
  if (!IsOpen()) return kFreeRecordClosed;
  // Whoever still points at the block would otherwise write into it once it is reused.
  ForgetRecord(channel_.FindRecord(id));
  return channel_.FreeRecord(id);
}

uint32_t TideLinkDocumentImpl::CountRecords(uint32_t tag, uint32_t mask, uint32_t value) const {
  return channel_.CountRecords(tag, mask, value);
}

wire::RecordHeader* TideLinkDocumentImpl::FindRecord(uint32_t id) const {
  return channel_.FindRecord(id);
}

std::vector<wire::RecordHeader*> TideLinkDocumentImpl::FindRecords(uint32_t tag, uint32_t mask,
                                                                   uint32_t value) const {
  return channel_.FindRecords(tag, mask, value);
}

void TideLinkDocumentImpl::MarkRecord(wire::RecordHeader* record, uint32_t flags) {
  channel_.MarkRecord(record, flags);
}

void TideLinkDocumentImpl::ClearRecordFlags(wire::RecordHeader* record, uint32_t mask) {
  channel_.ClearRecordFlags(record, mask);
}

uint32_t TideLinkDocumentImpl::TestRecordFlags(const wire::RecordHeader* record,
                                               uint32_t mask) const {
  return channel_.TestRecordFlags(record, mask);
}

uint32_t TideLinkDocumentImpl::CreateSegment(uint32_t recordId, uint32_t size) {
  return channel_.CreateSegment(recordId, size);
}

void TideLinkDocumentImpl::ReleaseSegment(uint32_t number) { channel_.ReleaseSegment(number); }

void TideLinkDocumentImpl::QueueSegmentRelease(uint32_t number) {
  channel_.QueueSegmentRelease(number);
}

void* TideLinkDocumentImpl::MapSegment(uint32_t number) { return channel_.MapSegment(number); }

bool TideLinkDocumentImpl::WriteSegment(uint32_t number, const void* data, size_t size) {
  return channel_.WriteSegment(number, data, size);
}

uint8_t* TideLinkDocumentImpl::WritableSegment(uint32_t number, size_t size) {
  return channel_.WritableSegment(number, size);
}

void TideLinkDocumentImpl::CloseSegment(uint32_t number) { channel_.CloseSegment(number); }
