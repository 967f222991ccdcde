#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/HostServices.h"
#include "transport/ExportNodeWriter.h"
#include "transport/TideLinkSurface.h"
#include "transport/WireFormat.h"

// A link document: the scene as the renderer sees it, in named shared memory. Every operation on
// a closed document does nothing and gives false, null, 0 or 0xFFFFFFFF. Nothing throws.
class TideLinkDocument {
public:
  virtual ~TideLinkDocument() = default;

  virtual bool IsOpen() const = 0;
  // The renderer has set the header's close flag.
  virtual bool IsClosedByRenderer() const = 0;
  // The name as given at open (backslashes kept).
  virtual std::u16string GetName() const = 0;
  // A new surface named `name`, or with allowRename the first free "name(n)". Null when closed or
  // when the name is taken and renaming is not allowed. A full document still gives a surface;
  // it never reaches the renderer.
  virtual std::shared_ptr<TideLinkSurface> CreateSurface(const std::u16string& name,
                                                         bool allowRename) = 0;
  // The surface leaves the scene at the next commit.
  virtual void RemoveSurface(const std::shared_ptr<TideLinkSurface>& surface) = 0;
  // The camera from the host's view description; null does nothing.
  virtual void SetViewFromHost(IViewDescriptionService* view) = 0;
  // `matrix` holds 16 floats, rows in order; null does nothing.
  virtual void SetCamera(const float* matrix, float fieldOfView) = 0;
  virtual void ClearCamera() = 0;
  // Writes every change under the shared lock (waiting at most 10 ms) and tells the renderer.
  // When the lock is not obtained nothing is written and the changes wait for the next commit.
  virtual void Commit() = 0;
  // Writes the document through `writer`, which holds the export's options: one export node per
  // surface with a mesh, built in parallel, handed over in the order in which the surfaces were
  // created and numbered in that order, so that the same document always gives the same file.
  // Gives 0 on success, kExportDocumentClosed, kExportWriteFailed (also for a failure while
  // building the nodes), or the nonzero integer that the writer or its progress callback threw.
  virtual int32_t ExportCollada(ExportNodeWriter& writer) = 0;

  // The system error code of a failed open (183: the name is in use), else 0.
  virtual uint32_t GetLastError() const = 0;
  virtual bool Lock(uint32_t timeoutMicroseconds) = 0;
  virtual uint32_t Unlock() = 0;
  virtual void SetFlags(uint32_t mask) = 0;
  virtual void ClearFlags(uint32_t mask) = 0;
  virtual uint32_t TestFlags(uint32_t mask) const = 0;
  virtual void SetCommitCount(uint32_t value) = 0;
  virtual uint32_t GetCommitCount() const = 0;
  virtual wire::RecordHeader* AllocateRecord(uint32_t tag) = 0;
  virtual uint32_t FreeRecord(uint32_t id) = 0;
  virtual uint32_t CountRecords(uint32_t tag, uint32_t mask, uint32_t value) const = 0;
  virtual wire::RecordHeader* FindRecord(uint32_t id) const = 0;
  virtual std::vector<wire::RecordHeader*> FindRecords(uint32_t tag, uint32_t mask,
                                                       uint32_t value) const = 0;
  virtual void MarkRecord(wire::RecordHeader* record, uint32_t flags) = 0;
  virtual void ClearRecordFlags(wire::RecordHeader* record, uint32_t mask) = 0;
  virtual uint32_t TestRecordFlags(const wire::RecordHeader* record, uint32_t mask) const = 0;
  virtual uint32_t CreateSegment(uint32_t recordId, uint32_t size) = 0;
  virtual void ReleaseSegment(uint32_t number) = 0;
  virtual void QueueSegmentRelease(uint32_t number) = 0;
  virtual void* MapSegment(uint32_t number) = 0;
  virtual void CloseSegment(uint32_t number) = 0;
  // `name`, or "name(n)" with the smallest n that no other surface uses; `self` is skipped.
  virtual std::u16string MakeUniqueName(const std::u16string& name,
                                        const TideLinkSurface* self) const = 0;
  // A commit is still owed: a change that a commit could not write (the lock was busy), a removal
  // not yet detached, or a written change not yet announced. False when closed.
  virtual bool HasUncommittedChanges() const = 0;
};
