#include "transport/MeshBuffer.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace {

constexpr uint64_t kCountsBytes = 12;

bool FitsWord(uint64_t count) { return count <= std::numeric_limits<uint32_t>::max(); }

// Elements of each array of a mesh with these counts; nothing when they overflow.
struct ArraySizes {
  uint64_t vertexFloats;
  uint64_t uvFloats;
  uint64_t bytes;
};

std::optional<ArraySizes> SizesFor(uint64_t vertexCount, uint64_t indexCount, uint64_t uvSetCount) {
  if (!FitsWord(vertexCount) || !FitsWord(indexCount) || !FitsWord(uvSetCount)) return std::nullopt;
  ArraySizes sizes{3 * vertexCount, 0, 0};
  uint64_t words = 0;
  if (__builtin_mul_overflow(2 * uvSetCount, vertexCount, &sizes.uvFloats) ||
      __builtin_add_overflow(2 * sizes.vertexFloats + indexCount, sizes.uvFloats, &words) ||
      __builtin_mul_overflow(words, uint64_t{4}, &sizes.bytes) ||
      __builtin_add_overflow(sizes.bytes, kCountsBytes, &sizes.bytes)) {
    return std::nullopt;
  }
  return sizes;
}

// The encoded size when the arrays match the counts.
std::optional<uint64_t> CheckedSize(uint64_t vertexCount, uint64_t indexCount, uint64_t uvSetCount,
                                    size_t positions, size_t normals, size_t uvs, size_t indices) {
  const std::optional<ArraySizes> sizes = SizesFor(vertexCount, indexCount, uvSetCount);
  if (!sizes || positions != sizes->vertexFloats || normals != sizes->vertexFloats ||
      uvs != sizes->uvFloats || indices != indexCount) {
    return std::nullopt;
  }
  return sizes->bytes;
}

// Fresh storage for `count` elements unless `kept` fits them and is not mostly wasted. Reserved
// before anything changes, so that running out of memory leaves the buffer as it was.
template <typename Element>
std::vector<Element> FreshUnlessFits(const std::vector<Element>& kept, size_t count) {
  std::vector<Element> fresh;
  if (count > kept.capacity() || count < kept.capacity() / 2) fresh.reserve(count);
  return fresh;
}

template <typename Element>
void Store(std::vector<Element>& kept, std::vector<Element>&& fresh,
           std::span<const Element> elements) {
  if (fresh.capacity() > 0 || elements.empty()) kept = std::move(fresh);
  kept.assign(elements.data(), elements.data() + elements.size());
}

template <typename Element>
uint8_t* Append(uint8_t* at, const std::vector<Element>& elements) {
  if (!elements.empty()) std::memcpy(at, elements.data(), elements.size() * sizeof(Element));
  return at + elements.size() * sizeof(Element);
}

}  // namespace

bool MeshBuffer::Assign(uint64_t vertexCount, uint64_t indexCount, uint64_t uvSetCount,
                        std::span<const float> positions, std::span<const float> normals,
                        std::span<const float> uvs, std::span<const uint32_t> indices) {
  const std::optional<uint64_t> size = CheckedSize(vertexCount, indexCount, uvSetCount,
                                                   positions.size(), normals.size(), uvs.size(),
                                                   indices.size());
  if (!size) return false;
  std::vector<float> freshPositions, freshNormals, freshUvs;
  std::vector<uint32_t> freshIndices;
  try {
    freshPositions = FreshUnlessFits(mesh_.positions, positions.size());
    freshNormals = FreshUnlessFits(mesh_.normals, normals.size());
    freshUvs = FreshUnlessFits(mesh_.uvs, uvs.size());
    freshIndices = FreshUnlessFits(mesh_.indices, indices.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Nothing below allocates.
  Store(mesh_.positions, std::move(freshPositions), positions);
  Store(mesh_.normals, std::move(freshNormals), normals);
  Store(mesh_.uvs, std::move(freshUvs), uvs);
  Store(mesh_.indices, std::move(freshIndices), indices);
  mesh_.vertexCount = vertexCount;
  mesh_.indexCount = indexCount;
  mesh_.uvSetCount = uvSetCount;
  size_ = *size;
  return true;
}

bool MeshBuffer::Take(TideLinkMesh& mesh) {
  const std::optional<uint64_t> size =
      CheckedSize(mesh.vertexCount, mesh.indexCount, mesh.uvSetCount, mesh.positions.size(),
                  mesh.normals.size(), mesh.uvs.size(), mesh.indices.size());
  if (!size) return false;
  std::swap(mesh_, mesh);
  size_ = *size;
  return true;
}

bool MeshBuffer::Decode(TideLinkMesh& mesh) const {
  if (empty()) return false;
  mesh = mesh_;
  return true;
}

void MeshBuffer::Clear() {
  mesh_ = TideLinkMesh{};
  size_ = 0;
}

void MeshBuffer::Encode(uint8_t* out) const {
  const uint32_t counts[3] = {static_cast<uint32_t>(mesh_.vertexCount),
                              static_cast<uint32_t>(mesh_.indexCount),
                              static_cast<uint32_t>(mesh_.uvSetCount)};
  std::memcpy(out, counts, sizeof(counts));
  uint8_t* at = Append(out + kCountsBytes, mesh_.positions);
  at = Append(at, mesh_.normals);
  at = Append(at, mesh_.uvs);
  Append(at, mesh_.indices);
}

std::optional<uint32_t> MeshSegmentCapacity(uint64_t meshBytes) {
  if (meshBytes > std::numeric_limits<uint32_t>::max() / 2) return std::nullopt;
  return static_cast<uint32_t>(2 * meshBytes);
}
