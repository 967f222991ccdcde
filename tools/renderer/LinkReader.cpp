#include "tools/renderer/LinkReader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <set>
#include <thread>

#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "transport/SharedMemoryChannel.h"
#include "transport/WireFormat.h"

namespace {

constexpr auto kLockWait = std::chrono::milliseconds(200);
// Test only: how long each read keeps the lock, so that a test can end the renderer holding it.
const uint32_t gLockHoldMilliseconds = platform::GetEnvironmentMilliseconds("OMBREL_HOLD_LOCK_MS");
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
  const auto header = CopyRecord<wire::HeaderRecord>(mainBytes_.data());
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
  std::atomic_ref<uint32_t> owner(reinterpret_cast<wire::HeaderRecord*>(mainBytes_.data())->lockOwner);
  const uint32_t self = platform::GetCurrentProcessId();
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  do {
    uint32_t expected = 0;
    if (owner.compare_exchange_strong(expected, self) || expected == self) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

void LinkReader::Unlock() {
  std::atomic_ref<uint32_t> owner(reinterpret_cast<wire::HeaderRecord*>(mainBytes_.data())->lockOwner);
  uint32_t expected = platform::GetCurrentProcessId();
  owner.compare_exchange_strong(expected, 0);
}

void LinkReader::CloseLink() {
  if (mainBytes_.empty()) return;
  std::atomic_ref<uint32_t> flags(reinterpret_cast<wire::HeaderRecord*>(mainBytes_.data())->record.flags);
  flags.fetch_or(wire::kFlagClosedByRenderer);
}

bool LinkReader::Read(MirroredScene& scene) {
  scene = MirroredScene{};
  scene.documentName = documentName_;
  std::string problem;
  if (!CheckHeader(problem)) {
    scene.problems.push_back(problem);
    return true;
  }
  if (!Lock()) return false;
  if (gLockHoldMilliseconds) std::this_thread::sleep_for(std::chrono::milliseconds(gLockHoldMilliseconds));
  const auto header = CopyRecord<wire::HeaderRecord>(mainBytes_.data());
  scene.headerVersion = header.record.version;
  scene.commitCount = header.commitCount;
  scene.closedByRenderer = (header.record.flags & wire::kFlagClosedByRenderer) != 0;
  uint32_t lastBlock = header.highWater;
  if (lastBlock >= blockCount_) {
    scene.problems.push_back("high water " + std::to_string(lastBlock) + " beyond the last block");
    lastBlock = blockCount_ - 1;
  }
  for (uint32_t index = 0; index <= lastBlock; ++index) ReadBlock(index, scene);
  Unlock();

  // Segments and meshes that no surface names any more are let go.
  std::set<uint32_t> used;
  std::set<uint32_t> liveRecords;
  for (const MirroredSurface& surface : scene.surfaces) {
    used.insert(surface.meshSegment);
    for (const MirroredTexture& texture : surface.textures) used.insert(texture.segment);
    liveRecords.insert(surface.recordId);
  }
  std::erase_if(segments_, [&](const auto& entry) { return !used.count(entry.first); });
  std::erase_if(meshes_, [&](const auto& entry) { return !liveRecords.count(entry.first); });
  return true;
}

void LinkReader::ReadBlock(uint32_t index, MirroredScene& scene) {
  uint8_t block[wire::kBlockSize];
  std::memcpy(block, mainBytes_.data() + wire::kBlockSize * (uint64_t{index} + 1), sizeof(block));
  const auto record = CopyRecord<wire::RecordHeader>(block);
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
  else if (record.tag == wire::kTagView) ReadView(block, index, scene);
}

void LinkReader::ReadSurface(const uint8_t* block, uint32_t index, MirroredScene& scene) {
  const auto record = CopyRecord<wire::SurfaceRecord>(block);
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
    if (texture.path.empty() && fields[slot]->segment != 0) {
      ReadTexture(fields[slot]->segment, fields[slot]->size, texture, scene);
    }
  }
  if (record.meshSegment != 0 && !ReadMesh(record.meshSegment, record.meshCapacity, surface, scene)) {
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

std::optional<std::span<const uint8_t>> LinkReader::Segment(uint32_t number) {
  auto found = segments_.find(number);
  if (found == segments_.end()) {
    SegmentView view;
    if (segmentSource_) {
      const std::optional<std::span<const uint8_t>> bytes = segmentSource_(number);
      if (!bytes) return std::nullopt;
      view.bytes = *bytes;
    } else {
      if (platform::SharedMemory::Open(SharedMemoryChannel::SegmentName(ownerProcessId_, number), view.mapping) != 0) {
        return std::nullopt;
      }
      view.bytes = {static_cast<const uint8_t*>(view.mapping.data()), view.mapping.size()};
    }
    found = segments_.emplace(number, std::move(view)).first;
  }
  return found->second.bytes;
}

void LinkReader::ReadTexture(uint32_t number, uint32_t size, MirroredTexture& texture, MirroredScene& scene) {
  texture.segment = number;
  const std::optional<std::span<const uint8_t>> segment = Segment(number);
  if (!segment || size < kBitmapHeaderSize || size > segment->size()) {
    scene.problems.push_back("texture segment " + std::to_string(number) + " of " + std::to_string(size) +
                             " bytes cannot be read");
    return;
  }
  uint8_t header[kBitmapHeaderSize];
  std::memcpy(header, segment->data(), sizeof(header));
  const int32_t width = static_cast<int32_t>(LoadWord(header + 18));
  const int32_t height = static_cast<int32_t>(LoadWord(header + 22));
  const uint16_t bits = static_cast<uint16_t>(header[28] | header[29] << 8);
  const uint64_t rows = height < 0 ? uint64_t(-int64_t{height}) : uint64_t(height);
  const uint64_t pixelBytes = uint64_t(width > 0 ? width : 0) * rows * (bits / 8u);
  if (header[0] != 'B' || header[1] != 'M' || width <= 0 || rows == 0 || (bits != 24 && bits != 32) ||
      pixelBytes > size - kBitmapHeaderSize) {
    scene.problems.push_back("texture segment " + std::to_string(number) + " is not a bitmap of its size");
    return;
  }
  texture.width = static_cast<uint32_t>(width);
  texture.height = static_cast<uint32_t>(rows);
  texture.hasAlpha = bits == 32;
}

bool LinkReader::ReadMesh(uint32_t number, uint32_t capacity, MirroredSurface& surface, MirroredScene& scene) {
  surface.meshSegment = number;
  CachedMesh& cached = meshes_[surface.recordId];
  if (cached.segment == number && cached.meshVersion == surface.meshVersion && cached.segment != 0) {
    surface.vertexCount = cached.vertexCount;
    surface.positions = cached.positions;
    surface.indices = cached.indices;
    return true;
  }
  const std::optional<std::span<const uint8_t>> segment = Segment(number);
  if (!segment || segment->size() < kMeshCountsSize || capacity > segment->size()) return false;
  const auto* bytes = static_cast<const uint8_t*>(segment->data());
  const uint64_t vertices = LoadWord(bytes), indexCount = LoadWord(bytes + 4), uvSets = LoadWord(bytes + 8);
  const uint64_t needed = kMeshCountsSize + 24 * vertices + 8 * uvSets * vertices + 4 * indexCount;
  if (needed > segment->size() || indexCount % 3 != 0) {
    scene.problems.push_back("mesh segment " + std::to_string(number) + " counts " + std::to_string(vertices) +
                             " vertices and " + std::to_string(indexCount) + " indices in " +
                             std::to_string(segment->size()) + " bytes");
    return false;
  }
  CachedMesh mesh{surface.meshVersion, number, static_cast<uint32_t>(vertices), std::vector<float>(3 * vertices),
                  std::vector<uint32_t>(indexCount)};
  if (vertices > 0) {
    std::memcpy(mesh.positions.data(), bytes + kMeshCountsSize, mesh.positions.size() * sizeof(float));
  }
  if (indexCount > 0) {
    std::memcpy(mesh.indices.data(), bytes + kMeshCountsSize + 24 * vertices + 8 * uvSets * vertices,
                mesh.indices.size() * sizeof(uint32_t));
  }
  if (std::any_of(mesh.indices.begin(), mesh.indices.end(), [&](uint32_t index) { return index >= vertices; })) {
    scene.problems.push_back("mesh segment " + std::to_string(number) + " has an index past its vertices");
    return false;
  }
  cached = std::move(mesh);
  surface.vertexCount = cached.vertexCount;
  surface.positions = cached.positions;
  surface.indices = cached.indices;
  return true;
}
