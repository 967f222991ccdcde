#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "transport/SharedMemoryChannel.h"
#include "transport/TideLinkDocument.h"
#include "transport/TideLinkObjectImpl.h"

class TideLinkSurfaceImpl;

// A link document on its shared-memory channel. Surfaces may be created, filled and traversed
// from several threads; Commit, RemoveSurface's effect, FreeRecord and Close run on one thread.
class TideLinkDocumentImpl : public TideLinkDocument,
                             public std::enable_shared_from_this<TideLinkDocumentImpl> {
  struct ConstructionKey {};

public:
  // Opens the document's mapping (the name with backslashes turned into slashes) with
  // `blockCount` data blocks, or gives a closed document whose GetLastError says why.
  static std::shared_ptr<TideLinkDocumentImpl> Create(const std::u16string& name,
                                                      uint64_t blockCount);
  TideLinkDocumentImpl(ConstructionKey, const std::u16string& name, uint64_t blockCount);
  ~TideLinkDocumentImpl() override;

  bool IsOpen() const override;
  bool IsClosedByRenderer() const override;
  std::u16string GetName() const override;
  std::shared_ptr<TideLinkSurface> CreateSurface(const std::u16string& name,
                                                 bool allowRename) override;
  void RemoveSurface(const std::shared_ptr<TideLinkSurface>& surface) override;
  void SetViewFromHost(IViewDescriptionService* view) override;
  void SetCamera(const float* matrix, float fieldOfView) override;
  void ClearCamera() override;
  void Commit() override;
  int32_t ExportCollada(ExportNodeWriter& writer) override;

  bool HasUncommittedChanges() const override;
  uint32_t GetLastError() const override;
  bool Lock(uint32_t timeoutMicroseconds) override;
  uint32_t Unlock() override;
  void SetFlags(uint32_t mask) override;
  void ClearFlags(uint32_t mask) override;
  uint32_t TestFlags(uint32_t mask) const override;
  void SetCommitCount(uint32_t value) override;
  uint32_t GetCommitCount() const override;
  wire::RecordHeader* AllocateRecord(uint32_t tag) override;
  // Objects and camera or status pointers that hold the freed record let go of it first.
  uint32_t FreeRecord(uint32_t id) override;
  uint32_t CountRecords(uint32_t tag, uint32_t mask, uint32_t value) const override;
  wire::RecordHeader* FindRecord(uint32_t id) const override;
  std::vector<wire::RecordHeader*> FindRecords(uint32_t tag, uint32_t mask,
                                               uint32_t value) const override;
  void MarkRecord(wire::RecordHeader* record, uint32_t flags) override;
  void ClearRecordFlags(wire::RecordHeader* record, uint32_t mask) override;
  uint32_t TestRecordFlags(const wire::RecordHeader* record, uint32_t mask) const override;
  uint32_t CreateSegment(uint32_t recordId, uint32_t size) override;
  void ReleaseSegment(uint32_t number) override;
  void QueueSegmentRelease(uint32_t number) override;
  void* MapSegment(uint32_t number) override;
  void CloseSegment(uint32_t number) override;
  std::u16string MakeUniqueName(const std::u16string& name,
                                const TideLinkSurface* self) const override;

  // Copies `size` bytes into segment `number`; false when it is missing or smaller.
  bool WriteSegment(uint32_t number, const void* data, size_t size);
  // Segment `number` to be written in place; null when it is missing or smaller than `size`.
  uint8_t* WritableSegment(uint32_t number, size_t size);
  // Withdraws the registry value, detaches every surface and releases the memory. Idempotent.
  void Close();

private:
  using ObjectSet = std::unordered_set<std::shared_ptr<TideLinkObjectImpl>>;
  using ObjectList = std::vector<std::shared_ptr<TideLinkObjectImpl>>;

  std::vector<std::shared_ptr<const TideLinkSurfaceImpl>> SurfacesInCreationOrder() const;
  bool IsNameTaken(const std::u16string& candidate, uint32_t selfId) const;
  // The objects as they are now, for work that calls into them (their calls may come back here).
  ObjectList ObjectsIn(const ObjectSet& objects) const;
  // Empties the set and detaches what it held.
  void DetachAll(ObjectSet& objects);
  void ForgetRecord(const wire::RecordHeader* record);
  // Starts a camera change: the record's bit 0 stays clear until FinishViewChange.
  wire::ViewRecord* BeginViewChange();
  void FinishViewChange(wire::ViewRecord* view);

  // Guards both sets, which surfaces join and leave from several threads; held only for lookups,
  // never across a call into an object.
  mutable std::mutex objectsMutex_;
  ObjectSet liveObjects_;
  ObjectSet removedObjects_;
  uint32_t lastError_ = 0;
  uint32_t processId_;
  std::u16string name_;
  bool committedChange_ = false;
  // The registry holds the document's announcement (or it has no name to announce).
  bool registered_ = false;
  SharedMemoryChannel channel_;
  wire::RecordHeader* viewRecord_ = nullptr;
  wire::RecordHeader* statusRecord_ = nullptr;
};
