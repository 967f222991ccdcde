#include "tools/renderer/LinkReader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <set>
#include <thread>

#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "transport/HeaderLock.h"
#include "transport/SharedMemoryChannel.h"
#include "transport/WireFormat.h"

namespace {

constexpr uint32_t kLockWaitMicroseconds = 200000;
// Test only: how long each read keeps the lock, so that a test can end the renderer holding it.
const uint32_t gLockHoldMilliseconds = platform::GetEnvironmentMilliseconds("OMBREL_HOLD_LOCK_MS");
// Copies under the lock in one read, when records name segments not mapped before.
constexpr int kCopyAttempts = 3;
constexpr size_t kBitmapHeaderSize = 54;
constexpr size_t kMeshCountsSize = 12;

template <class Record>
Record CopyRecord(const uint8_t* block) {
  Record record;
  std::memcpy(&record, block, sizeof(record));
  return record;
}

// A text field up to its first zero, or all of it when it has none.
template <size_t Units>
std::u16string ReadText(const char16_t (&field)[Units]) {
  const char16_t* end = std::find(field, field + Units, u'\0');
  return std::u16string(field, end);
}

std::string BlockProblem(uint32_t index, const std::string& what) {
  return "block " + std::to_string(index) + ": " + what;
}

uint32_t LoadWord(const void* address) {
  uint32_t value;
  std::memcpy(&value, address, sizeof(value));
  return value;
}

// Reads one byte of every page of the first `bytes` (at most `size`), so that the copy under the
// lock finds them in this process's page tables instead of faulting on each.
void TouchPages(const uint8_t* data, uint64_t bytes, uint64_t size) {
  constexpr uint64_t kPage = 4096;
  const uint64_t end = std::min(bytes, size);
  uint8_t sum = 0;
  for (uint64_t offset = 0; offset < end; offset += kPage) sum ^= static_cast<const volatile uint8_t*>(data)[offset];
  static_cast<void>(sum);
}

}  // namespace

bool LinkReader::Open(std::u16string_view documentName, std::string& problem) {
  if (platform::SharedMemory::Open(SharedMemoryChannel::MappingName(documentName), main_) != 0) {
    problem = "no live mapping";
    return false;
  }
  mainBytes_ = {static_cast<uint8_t*>(main_.data()), main_.size()};
  if (!Attach(problem)) {
    main_.Close();
    return false;
  }
  documentName_ = documentName;
  return true;
}

bool LinkReader::OpenBytes(std::span<uint8_t> main, SegmentSource segments, std::string& problem) {
  mainBytes_ = main;
  segmentSource_ = std::move(segments);
  return Attach(problem);
}

bool LinkReader::Attach(std::string& problem) {
  if (!CheckHeader(problem)) {
    mainBytes_ = {};
    return false;
  }
  const auto* header = reinterpret_cast<const wire::HeaderRecord*>(mainBytes_.data());
  ownerProcessId_ = LoadWord(&header->ownerProcessId);
  blockCount_ = LoadWord(&header->blockCount);
  return true;
}

bool LinkReader::CheckHeader(std::string& problem) const {
  if (mainBytes_.size() < wire::kBlockSize) {
    problem = "mapping smaller than its header";
    return false;
  }
  const auto header = CopyRecord<wire::HeaderRecord>(static_cast<const uint8_t*>(mainBytes_.data()));
  const uint64_t needed = (uint64_t{header.blockCount} + 1) * wire::kBlockSize;
  if (header.record.tag != wire::kTagHeader || header.record.size != sizeof(wire::HeaderRecord)) {
    problem = "no HEAD record at the start";
  } else if (header.dataOffset != wire::kBlockSize || header.blockCount == 0 || needed > mainBytes_.size()) {
    problem = "header describes " + std::to_string(header.blockCount) + " blocks at offset " +
              std::to_string(header.dataOffset) + " in a mapping of " + std::to_string(mainBytes_.size()) + " bytes";
  } else {
    return true;
  }
  return false;
}

std::optional<uint32_t> LinkReader::HeaderVersion() const {
  if (mainBytes_.empty()) return std::nullopt;
  std::string ignored;
  if (!CheckHeader(ignored)) return std::nullopt;
  return LoadWord(&reinterpret_cast<const wire::HeaderRecord*>(mainBytes_.data())->record.version);
}

bool LinkReader::Lock() {
  return wire::LockHeader(*reinterpret_cast<wire::HeaderRecord*>(mainBytes_.data()), platform::GetCurrentProcessId(),
                          kLockWaitMicroseconds);
}

void LinkReader::Unlock() {
  wire::UnlockHeader(*reinterpret_cast<wire::HeaderRecord*>(mainBytes_.data()), platform::GetCurrentProcessId());
}

void LinkReader::CloseLink() {
  if (mainBytes_.empty()) return;
  std::atomic_ref<uint32_t> flags(reinterpret_cast<wire::HeaderRecord*>(mainBytes_.data())->record.flags);
  flags.fetch_or(wire::kFlagClosedByRenderer);
}

bool LinkReader::Read(MirroredScene& scene) {
  scene = MirroredScene{};
  scene.documentName = documentName_;
  lastRead_ = ReadTimes{};
  copiedBytes_ = 0;
  std::string problem;
  if (!CheckHeader(problem)) {
    scene.problems.push_back(problem);
    lastRead_.done = Clock::now();
    return true;
  }
  staged_.clear();
  PrepareForChanges();
  wire::HeaderRecord header;
  uint32_t lastBlock = 0;
  // A record that named a new segment after the look without the lock has it mapped now, and
  // its copy is done again.
  for (int attempt = 1;; ++attempt) {
    if (!Lock()) return false;
    lastRead_.locked = Clock::now();
    if (gLockHoldMilliseconds) std::this_thread::sleep_for(std::chrono::milliseconds(gLockHoldMilliseconds));
    const std::set<uint32_t> unmapped = CopyChanges(header, lastBlock);
    Unlock();
    lastRead_.unlocked = Clock::now();
    if (unmapped.empty() || attempt == kCopyAttempts) break;
    bool mapped = false;
    for (const uint32_t number : unmapped) mapped |= Segment(number) != nullptr;
    if (!mapped) break;
  }

  scene.headerVersion = header.record.version;
  scene.commitCount = header.commitCount;
  scene.closedByRenderer = (header.record.flags & wire::kFlagClosedByRenderer) != 0;
  if (header.highWater >= blockCount_) {
    scene.problems.push_back("high water " + std::to_string(header.highWater) + " beyond the last block");
  }
  for (uint32_t index = 0; index <= lastBlock; ++index) ReadBlock(index, scene);
  staged_.clear();

  // Segments and meshes that no surface names any more are let go.
  std::set<uint32_t> used;
  std::set<uint32_t> liveRecords;
  std::set<std::u16string> usedFiles;
  for (const MirroredSurface& surface : scene.surfaces) {
    used.insert(surface.meshSegment);
    for (const MirroredTexture& texture : surface.textures) {
      used.insert(texture.segment);
      usedFiles.insert(texture.path);
    }
    liveRecords.insert(surface.recordId);
  }
  std::erase_if(segments_, [&](const auto& entry) { return !used.count(entry.first); });
  std::erase_if(meshes_, [&](const auto& entry) { return !liveRecords.count(entry.first); });
  std::erase_if(files_, [&](const auto& entry) { return !usedFiles.count(entry.first); });
  lastRead_.copiedBytes = copiedBytes_;
  RecordRead(scene.headerVersion, lastBlock);
  lastRead_.done = Clock::now();
  return true;
}

void LinkReader::RecordRead(uint32_t version, uint32_t lastBlock) {
  for (uint32_t index = 0; index <= lastBlock && index < blocks_.size(); ++index) {
    if (blocks_[index].tag != wire::kTagStatus) continue;
    auto* word = reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(BlockAddress(index)) + wire::kStatusVersionReadOffset);
    std::atomic_ref<uint32_t> read(*word);
    // Another renderer may have read a later version already.
    for (uint32_t seen = read.load(); seen < version && !read.compare_exchange_weak(seen, version);) {
    }
    return;
  }
}

const uint8_t* LinkReader::BlockAddress(uint32_t index) const {
  return static_cast<const uint8_t*>(mainBytes_.data()) + wire::kBlockSize * (uint64_t{index} + 1);
}

uint32_t LinkReader::LastBlock(uint32_t highWater) const { return std::min(highWater, blockCount_ - 1); }

void LinkReader::PrepareForChanges() {
  const auto* header = reinterpret_cast<const wire::HeaderRecord*>(mainBytes_.data());
  const uint32_t lastBlock = LastBlock(LoadWord(&header->highWater));
  for (uint32_t index = 0; index <= lastBlock; ++index) {
    const uint8_t* block = BlockAddress(index);
    if (LoadWord(block) != wire::kTagSurface) continue;
    // Read without the lock, so only a hint: what a changed record names is checked under it.
    const uint32_t version = LoadWord(block + offsetof(wire::RecordHeader, version));
    if (index < blocks_.size() && blocks_[index].tag == wire::kTagSurface && blocks_[index].version == version) continue;
    for (const size_t field : {offsetof(wire::SurfaceRecord, texture1), offsetof(wire::SurfaceRecord, texture2)}) {
      const uint8_t* texture = block + field;
      const uint32_t number = LoadWord(texture + offsetof(wire::TextureFields, segment));
      char16_t first;
      std::memcpy(&first, texture + offsetof(wire::TextureFields, path), sizeof(first));
      if (first == u'\0' && number != 0) {
        if (const SegmentBytes* image = Segment(number)) TouchPages(image->data(), image->size(), image->size());
      }
    }
    const uint32_t number = LoadWord(block + offsetof(wire::SurfaceRecord, meshSegment));
    const SegmentBytes* segment = number ? Segment(number) : nullptr;
    if (!segment || segment->size() < kMeshCountsSize) continue;
    const auto cached = meshes_.find(LoadWord(block + offsetof(wire::RecordHeader, id)));
    if (cached != meshes_.end() && cached->second.segment == number &&
        cached->second.meshVersion == LoadWord(block + offsetof(wire::SurfaceRecord, meshVersion))) {
      continue;
    }
    const auto* bytes = static_cast<const uint8_t*>(segment->data());
    const uint64_t vertices = LoadWord(bytes), indexCount = LoadWord(bytes + 4);
    // Counts that could not fit the segment get no room; the copy under the lock finds them out.
    if (kMeshCountsSize + 12 * vertices + 4 * indexCount > segment->size()) continue;
    StagedMesh& staged = staged_[index];
    staged.positions.resize(3 * vertices);
    staged.uvs.resize(LoadWord(bytes + 8) ? 2 * vertices : 0);
    staged.indices.resize(indexCount);
    TouchPages(bytes, kMeshCountsSize + 24 * vertices + 8 * uint64_t{LoadWord(bytes + 8)} * vertices + 4 * indexCount,
               segment->size());
  }
}

std::set<uint32_t> LinkReader::CopyChanges(wire::HeaderRecord& header, uint32_t& lastBlock) {
  std::set<uint32_t> unmapped;
  header = CopyRecord<wire::HeaderRecord>(static_cast<const uint8_t*>(mainBytes_.data()));
  copiedBytes_ += sizeof(header);
  lastBlock = LastBlock(header.highWater);
  blocks_.resize(uint64_t{lastBlock} + 1);
  for (uint32_t index = 0; index <= lastBlock; ++index) {
    CachedBlock& cached = blocks_[index];
    const auto record = CopyRecord<wire::RecordHeader>(BlockAddress(index));
    // The camera is written without the lock, so its version says nothing about its bytes.
    const bool moved = record.tag != cached.tag || record.version != cached.version || record.tag == wire::kTagView ||
                       std::any_of(cached.textures.begin(), cached.textures.end(),
                                   [](const TextureHead& head) { return head.wanted && !head.mapped; });
    if (moved) CopyBlock(index, cached, unmapped);
    if (cached.tag != wire::kTagSurface) continue;
    const auto surface = CopyRecord<wire::SurfaceRecord>(cached.bytes.data());
    if (surface.record.size != wire::RecordSize(wire::kTagSurface) || !(surface.record.flags & wire::kFlagChanged) ||
        surface.meshSegment == 0) {
      continue;
    }
    const auto found = meshes_.find(surface.record.id);
    if (found != meshes_.end() && found->second.segment == surface.meshSegment &&
        found->second.meshVersion == surface.meshVersion) {
      continue;
    }
    StageMesh(index, surface, unmapped);
  }
  return unmapped;
}

void LinkReader::CopyBlock(uint32_t index, CachedBlock& cached, std::set<uint32_t>& unmapped) {
  std::memcpy(cached.bytes.data(), BlockAddress(index), cached.bytes.size());
  copiedBytes_ += cached.bytes.size();
  const auto record = CopyRecord<wire::RecordHeader>(cached.bytes.data());
  cached.tag = record.tag;
  cached.version = record.version;
  cached.textures = {};
  if (record.tag != wire::kTagSurface || record.size != wire::RecordSize(wire::kTagSurface)) return;
  const auto surface = CopyRecord<wire::SurfaceRecord>(cached.bytes.data());
  const wire::TextureFields* fields[2] = {&surface.texture1, &surface.texture2};
  for (int slot = 0; slot < 2; ++slot) {
    TextureHead& head = cached.textures[slot];
    head.wanted = fields[slot]->path[0] == u'\0' && fields[slot]->segment != 0;
    if (!head.wanted) continue;
    const SegmentBytes* segment = MappedSegment(fields[slot]->segment);
    if (!segment) {
      unmapped.insert(fields[slot]->segment);
      continue;
    }
    head.mapped = true;
    head.segmentSize = segment->size();
    // The plug-in rewrites a segment in place while the new image fits, so it is copied here.
    if (fields[slot]->size <= segment->size()) {
      head.bytes.assign(segment->data(), segment->data() + fields[slot]->size);
      copiedBytes_ += head.bytes.size();
    }
  }
}

void LinkReader::StageMesh(uint32_t index, const wire::SurfaceRecord& record, std::set<uint32_t>& unmapped) {
  StagedMesh& staged = staged_[index];
  // Settled by an earlier copy of this read.
  if (staged.settled && staged.segment == record.meshSegment && staged.meshVersion == record.meshVersion) return;
  staged.segment = record.meshSegment;
  staged.meshVersion = record.meshVersion;
  staged.settled = staged.copied = false;
  staged.problem.clear();
  const SegmentBytes* segment = MappedSegment(record.meshSegment);
  if (!segment) {
    unmapped.insert(record.meshSegment);
    return;
  }
  staged.settled = true;
  if (segment->size() < kMeshCountsSize || record.meshCapacity > segment->size()) return;
  const auto* bytes = static_cast<const uint8_t*>(segment->data());
  const uint64_t vertices = LoadWord(bytes), indexCount = LoadWord(bytes + 4), uvSets = LoadWord(bytes + 8);
  copiedBytes_ += kMeshCountsSize;
  // In 128 bits: counts near 2^32 must not wrap round to a size that seems to fit.
  const unsigned __int128 needed = kMeshCountsSize + 24 * static_cast<unsigned __int128>(vertices) +
                                   8 * static_cast<unsigned __int128>(uvSets) * vertices + 4 * indexCount;
  if (needed > segment->size() || indexCount % 3 != 0) {
    staged.problem = "mesh segment " + std::to_string(record.meshSegment) + " counts " + std::to_string(vertices) +
                     " vertices and " + std::to_string(indexCount) + " indices in " + std::to_string(segment->size()) +
                     " bytes";
    return;
  }
  staged.vertexCount = static_cast<uint32_t>(vertices);
  staged.usedBytes = static_cast<uint64_t>(needed);
  staged.positions.resize(3 * vertices);
  staged.uvs.resize(uvSets ? 2 * vertices : 0);
  staged.indices.resize(indexCount);
  if (vertices > 0) {
    std::memcpy(staged.positions.data(), bytes + kMeshCountsSize, staged.positions.size() * sizeof(float));
  }
  if (!staged.uvs.empty()) {  // the first set only: the picture draws one texture
    std::memcpy(staged.uvs.data(), bytes + kMeshCountsSize + 24 * vertices, staged.uvs.size() * sizeof(float));
  }
  if (indexCount > 0) {
    std::memcpy(staged.indices.data(), bytes + kMeshCountsSize + 24 * vertices + 8 * uvSets * vertices,
                staged.indices.size() * sizeof(uint32_t));
  }
  copiedBytes_ +=
      (staged.positions.size() + staged.uvs.size()) * sizeof(float) + staged.indices.size() * sizeof(uint32_t);
  staged.copied = true;
}

void LinkReader::ReadBlock(uint32_t index, MirroredScene& scene) {
  CachedBlock& block = blocks_[index];
  const auto record = CopyRecord<wire::RecordHeader>(block.bytes.data());
  if (record.tag == 0) return;
  // A removed surface keeps the size of the surface record it was.
  const uint32_t expectedSize = record.tag == wire::kTagRemovedSurface ? wire::RecordSize(wire::kTagSurface)
                                                                        : wire::RecordSize(record.tag);
  if (record.size != expectedSize) {
    scene.problems.push_back(BlockProblem(index, "record of size " + std::to_string(record.size)));
    return;
  }
  if (record.tag == wire::kTagSurface) ReadSurface(block, index, scene);
  else if (record.tag == wire::kTagRemovedSurface) scene.removedSurfaceIds.push_back(record.id);
  else if (record.tag == wire::kTagView) ReadView(block.bytes.data(), index, scene);
}

void LinkReader::ReadSurface(CachedBlock& block, uint32_t index, MirroredScene& scene) {
  const auto record = CopyRecord<wire::SurfaceRecord>(block.bytes.data());
  // A surface is written whole before its bit 0 is set; one without it is not finished yet.
  if (!(record.record.flags & wire::kFlagChanged)) return;
  MirroredSurface surface;
  surface.recordId = record.record.id;
  surface.version = record.record.version;
  surface.materialVersion = record.materialVersion;
  surface.meshVersion = record.meshVersion;
  surface.name = ReadText(record.name);
  surface.surfaceType = record.surfaceType;
  surface.libraryId = ReadText(record.libraryId);
  surface.color = record.color;
  std::copy(std::begin(record.params), std::end(record.params), surface.params.begin());
  const wire::TextureFields* fields[2] = {&record.texture1, &record.texture2};
  for (int slot = 0; slot < 2; ++slot) {
    MirroredTexture& texture = surface.textures[slot];
    texture.stamp = fields[slot]->stamp;
    texture.path = ReadText(fields[slot]->path);
    if (!texture.path.empty()) {
      ReadTextureFile(texture);
    } else if (fields[slot]->segment != 0) {
      ReadTexture(fields[slot]->segment, fields[slot]->size, block.textures[slot], texture, scene);
    }
  }
  if (record.meshSegment != 0 && !ReadMesh(index, record.meshSegment, surface, scene)) {
    scene.problems.push_back(BlockProblem(index, "surface \"" + platform::Utf8FromUtf16(surface.name) +
                                                     "\" has an unreadable mesh in segment " +
                                                     std::to_string(record.meshSegment)));
  }
  scene.surfaces.push_back(std::move(surface));
}

void LinkReader::ReadView(const uint8_t* block, uint32_t, MirroredScene& scene) {
  const auto record = CopyRecord<wire::ViewRecord>(block);
  // The camera is cleared before it is rewritten: without bit 0 it is in the middle of a change.
  if (!(record.record.flags & wire::kFlagChanged) || record.enabled != 1) return;
  scene.camera.enabled = std::all_of(std::begin(record.matrix), std::end(record.matrix),
                                     [](float value) { return std::isfinite(value); }) &&
                         std::isfinite(record.fieldOfView);
  std::copy(std::begin(record.matrix), std::end(record.matrix), scene.camera.matrix.begin());
  scene.camera.fieldOfView = record.fieldOfView;
}

const LinkReader::SegmentBytes* LinkReader::MappedSegment(uint32_t number) const {
  const auto found = segments_.find(number);
  return found == segments_.end() ? nullptr : &found->second.bytes;
}

const LinkReader::SegmentBytes* LinkReader::Segment(uint32_t number) {
  if (const SegmentBytes* mapped = MappedSegment(number)) return mapped;
  SegmentView view;
  if (segmentSource_) {
    const std::optional<SegmentBytes> bytes = segmentSource_(number);
    if (!bytes) return nullptr;
    view.bytes = *bytes;
  } else {
    if (platform::SharedMemory::Open(SharedMemoryChannel::SegmentName(ownerProcessId_, number), view.mapping) != 0) {
      return nullptr;
    }
    view.bytes = {static_cast<const uint8_t*>(view.mapping.data()), view.mapping.size()};
  }
  return &segments_.emplace(number, std::move(view)).first->second.bytes;
}

void LinkReader::ReadTexture(uint32_t number, uint32_t size, TextureHead& head, MirroredTexture& texture,
                             MirroredScene& scene) {
  texture.segment = number;
  if (!head.mapped || size < kBitmapHeaderSize || size > head.segmentSize) {
    scene.problems.push_back("texture segment " + std::to_string(number) + " of " + std::to_string(size) +
                             " bytes cannot be read");
    return;
  }
  if (!head.decoded) {
    head.image = DecodeBitmapFile(head.bytes);
    head.decoded = true;
    head.bytes = {};
  }
  if (!head.image) {
    scene.problems.push_back("texture segment " + std::to_string(number) + " is not a bitmap of its size");
    return;
  }
  texture.width = head.image->width;
  texture.height = head.image->height;
  texture.hasAlpha = head.image->hasAlpha;
  texture.rgba = head.image->rgba;
}

void LinkReader::ReadTextureFile(MirroredTexture& texture) {
  const auto found = files_.find(texture.path);
  LoadedFile& file = found != files_.end() ? found->second : files_[texture.path];
  if (found == files_.end() || file.stamp != texture.stamp) file = {texture.stamp, LoadTextureFile(texture.path)};
  if (!file.image) return;  // a format the picture cannot read: drawn in its colour
  texture.width = file.image->width;
  texture.height = file.image->height;
  texture.hasAlpha = file.image->hasAlpha;
  texture.rgba = file.image->rgba;
}

bool LinkReader::ReadMesh(uint32_t index, uint32_t number, MirroredSurface& surface, MirroredScene& scene) {
  surface.meshSegment = number;
  auto found = meshes_.find(surface.recordId);
  const bool cached = found != meshes_.end() && found->second.segment == number &&
                      found->second.meshVersion == surface.meshVersion && number != 0;
  if (!cached) {
    const auto entry = staged_.find(index);
    if (entry == staged_.end() || entry->second.segment != number || entry->second.meshVersion != surface.meshVersion ||
        !entry->second.copied) {
      if (entry != staged_.end() && !entry->second.problem.empty()) scene.problems.push_back(entry->second.problem);
      return false;
    }
    StagedMesh& staged = entry->second;
    const uint32_t vertices = staged.vertexCount;
    if (std::any_of(staged.indices.begin(), staged.indices.end(), [&](uint32_t i) { return i >= vertices; })) {
      scene.problems.push_back("mesh segment " + std::to_string(number) + " has an index past its vertices");
      return false;
    }
    found = meshes_.insert_or_assign(surface.recordId,
                                     CachedMesh{staged.meshVersion, number, vertices, staged.usedBytes,
                                                std::move(staged.positions), std::move(staged.uvs),
                                                std::move(staged.indices)})
                .first;
  }
  const CachedMesh& mesh = found->second;
  surface.vertexCount = mesh.vertexCount;
  surface.positions = mesh.positions;
  surface.uvs = mesh.uvs;
  surface.indices = mesh.indices;
  lastRead_.meshBytes += mesh.usedBytes;
  return true;
}
