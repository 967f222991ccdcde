#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/SharedMemory.h"
#include "transport/WireFormat.h"

// One link document's shared memory: the main mapping with its header and record blocks, the
// cross-process lock in the header, and the numbered segments created for records. Everything it
// reads back from the mapping (high water, record fields) is bounded by what it wrote itself, so
// a misbehaving reader cannot make it step outside its mappings.
//
// Block allocation and the erasing operations (FreeRecord, the segment releases, Close) run on one
// thread at a time; record marking, segment creation and the counters may run on several.
class SharedMemoryChannel {
public:
  SharedMemoryChannel() = default;
  ~SharedMemoryChannel() { Close(); }
  SharedMemoryChannel(const SharedMemoryChannel&) = delete;
  SharedMemoryChannel& operator=(const SharedMemoryChannel&) = delete;

  // Creates the main mapping of (blockCount + 1) blocks under `mappingName` and writes a fresh
  // header owned by `processId`. 0, or the system error code with the channel left closed:
  // kErrorAlreadyExists for a live mapping of the name, 87 when the size would not fit 32 bits.
  int32_t Open(std::u16string_view mappingName, uint64_t blockCount, uint32_t processId);
  bool IsOpen() const { return header_ != nullptr; }
  // Closes every segment and the main mapping; the channel stays closed.
  void Close();

  // Takes the lock for this process, waiting up to `timeoutMicroseconds`; re-entrant, not
  // counted. A lock whose holder process has died is taken over.
  bool Lock(uint32_t timeoutMicroseconds);
  // Frees the lock when this process holds it. Gives this process's id (0 when closed).
  uint32_t Unlock();

  // Bit 0 of the mask also advances the header version and commit count.
  void SetFlags(uint32_t mask);
  void ClearFlags(uint32_t mask);
  uint32_t TestFlags(uint32_t mask) const;
  void SetCommitCount(uint32_t value);
  uint32_t GetCommitCount() const;

  // The lowest free block as a fresh record of `tag` (zeroed, new id and version); null for
  // "HEAD", when every block is taken, or when closed.
  wire::RecordHeader* AllocateRecord(uint32_t tag);
  // Frees the block of record `id` and closes its segments. 0, or 0xFFFFFFFF when closed.
  uint32_t FreeRecord(uint32_t id);
  wire::RecordHeader* FindRecord(uint32_t id) const;
  // Records of `tag` whose flags AND mask equal mask AND value (any flags when mask is 0).
  uint32_t CountRecords(uint32_t tag, uint32_t mask, uint32_t value) const;
  std::vector<wire::RecordHeader*> FindRecords(uint32_t tag, uint32_t mask, uint32_t value) const;

  // Bit 0 of `flags` first gives the record a new version; then the flags are ORed in.
  void MarkRecord(wire::RecordHeader* record, uint32_t flags);
  void ClearRecordFlags(wire::RecordHeader* record, uint32_t mask);
  uint32_t TestRecordFlags(const wire::RecordHeader* record, uint32_t mask) const;

  // A new segment of exactly `size` bytes owned by record `recordId`; its number, 0 on failure.
  uint32_t CreateSegment(uint32_t recordId, uint32_t size);
  // Forgets the segment in every record and closes it.
  void ReleaseSegment(uint32_t number);
  // Defers ReleaseSegment to ReleaseQueuedSegments.
  void QueueSegmentRelease(uint32_t number);
  void ReleaseQueuedSegments();
  // The segment's first byte, opening it by name when this channel has not; null on failure.
  void* MapSegment(uint32_t number);
  // The segment's first byte when it can be mapped and holds at least `size` bytes; else null.
  uint8_t* WritableSegment(uint32_t number, size_t size);
  // Copies `size` bytes into the segment; false when it cannot be mapped or is smaller.
  bool WriteSegment(uint32_t number, const void* data, size_t size);
  void CloseSegment(uint32_t number);

  // Name of the main mapping of the document `documentName`: backslashes become slashes.
  static std::u16string MappingName(std::u16string_view documentName);
  // Name of segment `number` of the process `ownerProcessId`.
  static std::u16string SegmentName(uint32_t ownerProcessId, uint32_t number);

private:
  wire::RecordHeader* Block(uint32_t index) const;
  // Last block index a scan visits: the high water, bounded by the block count.
  int64_t LastScannedBlock() const;
  platform::SharedMemory* FindOrOpenSegment(uint32_t number);

  platform::SharedMemory mapping_;
  wire::HeaderRecord* header_ = nullptr;
  uint8_t* blocks_ = nullptr;
  uint32_t blockCount_ = 0;
  uint32_t processId_ = 0;
  std::atomic<uint32_t> changeCounter_{0};
  std::atomic<uint32_t> recordIdCounter_{0};
  // Guards the three below: surfaces of different materials create and map segments at once. Held
  // for the bookkeeping only, never across a system call that makes or opens a mapping.
  std::mutex segmentsMutex_;
  std::unordered_set<uint32_t> segmentsToRelease_;
  std::unordered_map<uint32_t, std::unordered_set<uint32_t>> recordSegments_;
  // A mapping stays at its address while others come and go: the map's elements do not move.
  std::unordered_map<uint32_t, platform::SharedMemory> segments_;
};
