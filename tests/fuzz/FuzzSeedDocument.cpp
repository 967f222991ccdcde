#include "tests/fuzz/FuzzSeedDocument.h"

#include <unistd.h>

#include <cstring>

#include "platform/SharedMemory.h"
#include "scene/SceneGeometryCache.h"
#include "scene/SceneMaterialSet.h"
#include "scene/SceneOperation.h"
#include "transport/SharedMemoryChannel.h"
#include "transport/TideLinkDocumentImpl.h"
#include "transport/WireFormat.h"

namespace {

template <class T>
void Append(std::vector<uint8_t>& bytes, const T& value) {
  const auto* data = reinterpret_cast<const uint8_t*>(&value);
  bytes.insert(bytes.end(), data, data + sizeof(T));
}

}  // namespace

std::vector<uint8_t> CommittedDocumentSeed(const std::vector<std::vector<VGS::Operation>>& batches,
                                           const std::u16string& name) {
  auto document = TideLinkDocumentImpl::Create(name, kSeedDocumentBlocks);
  SceneMaterialSet materials;
  SceneGeometryCache geometry(materials);
  GeometrySettings settings;
  materials.attach(document);
  geometry.attach(document, &settings);
  for (const auto& batch : batches) {
    for (const VGS::Operation& operation : batch) ApplySceneOperation(operation, geometry, materials);
  }
  materials.flush();
  geometry.flush();
  document->Commit();

  platform::SharedMemory main;
  platform::SharedMemory::Open(SharedMemoryChannel::MappingName(name), main);
  const auto* base = static_cast<const uint8_t*>(main.data());
  std::vector<uint32_t> numbers;
  for (uint64_t block = 1; block <= kSeedDocumentBlocks; ++block) {
    wire::RecordHeader record;
    std::memcpy(&record, base + block * wire::kBlockSize, sizeof(record));
    if (record.tag != wire::kTagSurface) continue;
    wire::SurfaceRecord surface;
    std::memcpy(&surface, base + block * wire::kBlockSize, sizeof(surface));
    for (uint32_t number : {surface.meshSegment, surface.texture1.segment, surface.texture2.segment}) {
      if (number != 0) numbers.push_back(number);
    }
  }
  std::vector<uint8_t> out;
  std::vector<std::vector<uint8_t>> segments;
  for (uint32_t number : numbers) {
    platform::SharedMemory segment;
    if (platform::SharedMemory::Open(SharedMemoryChannel::SegmentName(getpid(), number), segment) != 0) continue;
    if (segment.size() > 0xFFFF || segments.size() == 4) continue;
    const auto* bytes = static_cast<const uint8_t*>(segment.data());
    std::vector<uint8_t> one;
    Append(one, number);
    Append(one, static_cast<uint16_t>(segment.size()));
    one.insert(one.end(), bytes, bytes + segment.size());
    segments.push_back(std::move(one));
  }
  out.push_back(static_cast<uint8_t>(segments.size()));
  for (const auto& segment : segments) out.insert(out.end(), segment.begin(), segment.end());
  Append(out, static_cast<uint32_t>(main.size()));
  size_t used = main.size();
  while (used > 0 && base[used - 1] == 0) --used;
  out.insert(out.end(), base, base + used);

  geometry.detach();
  materials.detach();
  return out;
}

