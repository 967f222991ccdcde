#include "transport/SharedMemoryChannel.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/SystemErrors.h"
#include "transport/HeaderLock.h"
#include "transport/TideLinkDocumentManager.h"

namespace {

constexpr uint32_t kFreeRecordClosed = 0xFFFFFFFF;

template <typename Word>
std::atomic_ref<uint32_t> Shared(Word& word) {
  return std::atomic_ref<uint32_t>(word);
}

// A free block (tag 0) is no record, whatever its id field says: id 0 would otherwise find one.
bool IsRecord(const wire::RecordHeader& block, uint32_t id) {
  return block.tag != 0 && block.id == id;
}

bool Matches(const wire::RecordHeader& record, uint32_t tag, uint32_t mask, uint32_t value) {
  return record.tag == tag && (mask == 0 || (record.flags & mask) == (mask & value));
}

}  // namespace

int32_t SharedMemoryChannel::Open(std::u16string_view mappingName, uint64_t blockCount,
                                  uint32_t processId) {
  // totalSize and blockCount are 32-bit header fields; a larger file would be described wrongly.
  if (blockCount >= std::numeric_limits<uint32_t>::max() / wire::kBlockSize) {
    return platform::kErrorInvalidParameter;
  }
  const uint32_t totalSize = static_cast<uint32_t>(blockCount + 1) * wire::kBlockSize;
  if (const int32_t error = platform::SharedMemory::Create(mappingName, totalSize, mapping_)) {
    return error;
  }
  // A new mapping is already zero: only the header's own words are written.
  header_ = static_cast<wire::HeaderRecord*>(mapping_.data());
  blocks_ = static_cast<uint8_t*>(mapping_.data()) + wire::kBlockSize;
  blockCount_ = static_cast<uint32_t>(blockCount);
  processId_ = processId;
  header_->record = {wire::kTagHeader, sizeof(wire::HeaderRecord), 0, 0, 1};
  header_->reserved20 = 1;
  header_->totalSize = totalSize;
  header_->dataOffset = wire::kBlockSize;
  header_->blockCount = blockCount_;
  header_->ownerProcessId = processId;
  header_->commitCount = 1;
  return 0;
}

void SharedMemoryChannel::Close() {
  {
    std::lock_guard lock(segmentsMutex_);
    segmentsToRelease_.clear();
    recordSegments_.clear();
    segments_.clear();
  }
  mapping_.Close();
  header_ = nullptr;
  blocks_ = nullptr;
}

bool SharedMemoryChannel::Lock(uint32_t timeoutMicroseconds) {
  return IsOpen() && wire::LockHeader(*header_, processId_, timeoutMicroseconds);
}

uint32_t SharedMemoryChannel::Unlock() {
  if (!IsOpen()) return 0;
  wire::UnlockHeader(*header_, processId_);
  return processId_;
}

void SharedMemoryChannel::SetFlags(uint32_t mask) {
  if (!IsOpen()) return;
  if (mask & wire::kFlagChanged) {
    ++header_->record.version;
    ++header_->commitCount;
  }
  Shared(header_->record.flags).fetch_or(mask);
}

void SharedMemoryChannel::ClearFlags(uint32_t mask) {
  if (IsOpen()) Shared(header_->record.flags).fetch_and(~mask);
}

uint32_t SharedMemoryChannel::TestFlags(uint32_t mask) const {
  return IsOpen() ? Shared(header_->record.flags).load() & mask : 0;
}

void SharedMemoryChannel::SetCommitCount(uint32_t value) {
  if (IsOpen()) header_->commitCount = value;
}

uint32_t SharedMemoryChannel::GetCommitCount() const {
  return IsOpen() ? header_->commitCount : 0;
}

wire::RecordHeader* SharedMemoryChannel::Block(uint32_t index) const {
  return reinterpret_cast<wire::RecordHeader*>(blocks_ + size_t{index} * wire::kBlockSize);
}

int64_t SharedMemoryChannel::LastScannedBlock() const {
  return std::min<int64_t>(header_->highWater, int64_t{blockCount_} - 1);
}

wire::RecordHeader* SharedMemoryChannel::AllocateRecord(uint32_t tag) {
  if (!IsOpen() || tag == wire::kTagHeader) return nullptr;
  uint32_t index = 0;
  while (index < blockCount_ && Block(index)->tag != 0) ++index;
  if (index == blockCount_) return nullptr;
  if (index > header_->highWater) header_->highWater = index;
  wire::RecordHeader* record = Block(index);
  std::memset(record, 0, wire::kBlockSize);
  *record = {tag, wire::RecordSize(tag), ++recordIdCounter_, 0, ++changeCounter_};
  ++header_->recordCount;
  return record;
}

uint32_t SharedMemoryChannel::FreeRecord(uint32_t id) {
  if (!IsOpen()) return kFreeRecordClosed;
  for (int64_t index = 0; index <= LastScannedBlock(); ++index) {
    wire::RecordHeader* record = Block(static_cast<uint32_t>(index));
    if (!IsRecord(*record, id)) continue;
    std::memset(record, 0, wire::kBlockSize);
    --header_->recordCount;
    if (index == header_->highWater && index > 0) --header_->highWater;
    break;
  }
  std::unordered_set<uint32_t> owned;
  {
    std::lock_guard lock(segmentsMutex_);
    if (auto found = recordSegments_.extract(id)) owned = std::move(found.mapped());
  }
  for (uint32_t number : owned) CloseSegment(number);
  return 0;
}

wire::RecordHeader* SharedMemoryChannel::FindRecord(uint32_t id) const {
  if (!IsOpen()) return nullptr;
  for (int64_t index = 0; index <= LastScannedBlock(); ++index) {
    wire::RecordHeader* record = Block(static_cast<uint32_t>(index));
    if (IsRecord(*record, id)) return record;
  }
  return nullptr;
}

uint32_t SharedMemoryChannel::CountRecords(uint32_t tag, uint32_t mask, uint32_t value) const {
  return static_cast<uint32_t>(FindRecords(tag, mask, value).size());
}

std::vector<wire::RecordHeader*> SharedMemoryChannel::FindRecords(uint32_t tag, uint32_t mask,
                                                                  uint32_t value) const {
  std::vector<wire::RecordHeader*> records;
  if (!IsOpen()) return records;
  records.reserve(static_cast<size_t>(LastScannedBlock() + 1));
  for (int64_t index = 0; index <= LastScannedBlock(); ++index) {
    wire::RecordHeader* record = Block(static_cast<uint32_t>(index));
    if (Matches(*record, tag, mask, value)) records.push_back(record);
  }
  return records;
}

void SharedMemoryChannel::MarkRecord(wire::RecordHeader* record, uint32_t flags) {
  if (!record) return;
  if (flags & wire::kFlagChanged) Shared(record->version).store(++changeCounter_);
  // Released after the payload, so a reader that sees bit 0 sees the whole change.
  Shared(record->flags).fetch_or(flags, std::memory_order_release);
}

void SharedMemoryChannel::ClearRecordFlags(wire::RecordHeader* record, uint32_t mask) {
  if (record) Shared(record->flags).fetch_and(~mask);
}

uint32_t SharedMemoryChannel::TestRecordFlags(const wire::RecordHeader* record,
                                              uint32_t mask) const {
  return record ? Shared(const_cast<uint32_t&>(record->flags)).load() & mask : 0;
}

std::u16string SharedMemoryChannel::MappingName(std::u16string_view documentName) {
  std::u16string name(documentName);
  std::replace(name.begin(), name.end(), u'\\', u'/');
  return name;
}

std::u16string SharedMemoryChannel::SegmentName(uint32_t ownerProcessId, uint32_t number) {
  char name[260];
  const int length = std::snprintf(name, sizeof(name), "TideLinkAPI/%d/%08X",
                                   static_cast<int>(ownerProcessId), number);
  return std::u16string(name, name + length);
}

uint32_t SharedMemoryChannel::CreateSegment(uint32_t recordId, uint32_t size) {
  if (!IsOpen()) return 0;
  // Taken before the attempt, so a failed creation still uses the number up.
  const uint32_t number = TideLinkDocumentManager::Instance().NextSegmentNumber();
  platform::SharedMemory segment;
  if (platform::SharedMemory::Create(SegmentName(processId_, number), size, segment) != 0) return 0;
  std::lock_guard lock(segmentsMutex_);
  segments_[number] = std::move(segment);
  recordSegments_[recordId].insert(number);
  return number;
}

void SharedMemoryChannel::ReleaseSegment(uint32_t number) {
  if (number == 0) return;
  {
    std::lock_guard lock(segmentsMutex_);
    for (auto& [recordId, numbers] : recordSegments_) numbers.erase(number);
  }
  CloseSegment(number);
}

void SharedMemoryChannel::QueueSegmentRelease(uint32_t number) {
  if (!IsOpen() || number == 0) return;
  std::lock_guard lock(segmentsMutex_);
  segmentsToRelease_.insert(number);
}

void SharedMemoryChannel::ReleaseQueuedSegments() {
  std::unordered_set<uint32_t> queued;
  {
    std::lock_guard lock(segmentsMutex_);
    queued.swap(segmentsToRelease_);
  }
  for (uint32_t number : queued) ReleaseSegment(number);
}

platform::SharedMemory* SharedMemoryChannel::FindOrOpenSegment(uint32_t number) {
  if (!IsOpen() || number == 0) return nullptr;
  {
    std::lock_guard lock(segmentsMutex_);
    if (const auto known = segments_.find(number); known != segments_.end()) return &known->second;
  }
  platform::SharedMemory segment;
  if (platform::SharedMemory::Open(SegmentName(processId_, number), segment) != 0) return nullptr;
  // Another thread may have opened it meanwhile; then its mapping is the one kept.
  std::lock_guard lock(segmentsMutex_);
  return &segments_.try_emplace(number, std::move(segment)).first->second;
}

void* SharedMemoryChannel::MapSegment(uint32_t number) {
  platform::SharedMemory* segment = FindOrOpenSegment(number);
  return segment ? segment->data() : nullptr;
}

uint8_t* SharedMemoryChannel::WritableSegment(uint32_t number, size_t size) {
  platform::SharedMemory* segment = FindOrOpenSegment(number);
  if (!segment || segment->size() < size) return nullptr;
  return static_cast<uint8_t*>(segment->data());
}

bool SharedMemoryChannel::WriteSegment(uint32_t number, const void* data, size_t size) {
  uint8_t* bytes = WritableSegment(number, size);
  if (!bytes) return false;
  std::memcpy(bytes, data, size);
  return true;
}

void SharedMemoryChannel::CloseSegment(uint32_t number) {
  if (number == 0) return;
  platform::SharedMemory closed;
  {
    std::lock_guard lock(segmentsMutex_);
    const auto found = segments_.find(number);
    if (found == segments_.end()) return;
    closed = std::move(found->second);
    segments_.erase(found);
  }
}
