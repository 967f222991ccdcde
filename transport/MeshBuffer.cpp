#include "transport/MeshBuffer.h"

#include <cstring>
#include <limits>
#include <new>

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

template <typename Element>
uint8_t* Append(uint8_t* at, std::span<const Element> elements) {
  if (!elements.empty()) std::memcpy(at, elements.data(), elements.size_bytes());
  return at + elements.size_bytes();
}

template <typename Element>
const uint8_t* Extract(const uint8_t* at, std::vector<Element>& elements, uint64_t count) {
  elements.resize(count);
  if (count) std::memcpy(elements.data(), at, count * sizeof(Element));
  return at + count * sizeof(Element);
}

}  // namespace

bool MeshBuffer::Reserve(uint64_t size) {
  // Reused while it fits and is not mostly wasted.
  if (size <= capacity_ && size >= capacity_ / 2) return true;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (!bytes) return false;
  bytes_ = std::move(bytes);
  capacity_ = size;
  return true;
}

bool MeshBuffer::Assign(uint64_t vertexCount, uint64_t indexCount, uint64_t uvSetCount,
                        std::span<const float> positions, std::span<const float> normals,
                        std::span<const float> uvs, std::span<const uint32_t> indices) {
  const std::optional<ArraySizes> sizes = SizesFor(vertexCount, indexCount, uvSetCount);
  if (!sizes || positions.size() != sizes->vertexFloats || normals.size() != sizes->vertexFloats ||
      uvs.size() != sizes->uvFloats || indices.size() != indexCount || !Reserve(sizes->bytes)) {
    return false;
  }
  const uint32_t counts[3] = {static_cast<uint32_t>(vertexCount),
                              static_cast<uint32_t>(indexCount), static_cast<uint32_t>(uvSetCount)};
  uint8_t* at = Append(bytes_.get(), std::span<const uint32_t>(counts));
  at = Append(at, positions);
  at = Append(at, normals);
  at = Append(at, uvs);
  Append(at, indices);
  size_ = sizes->bytes;
  return true;
}

bool MeshBuffer::Decode(TideLinkMesh& mesh) const {
  if (empty()) return false;
  uint32_t counts[3];
  std::memcpy(counts, bytes_.get(), sizeof(counts));
  mesh.vertexCount = counts[0];
  mesh.indexCount = counts[1];
  mesh.uvSetCount = counts[2];
  const uint8_t* at = bytes_.get() + kCountsBytes;
  at = Extract(at, mesh.positions, 3 * mesh.vertexCount);
  at = Extract(at, mesh.normals, 3 * mesh.vertexCount);
  at = Extract(at, mesh.uvs, 2 * mesh.uvSetCount * mesh.vertexCount);
  Extract(at, mesh.indices, mesh.indexCount);
  return true;
}

void MeshBuffer::Clear() {
  bytes_.reset();
  size_ = 0;
  capacity_ = 0;
}

std::optional<uint32_t> MeshSegmentCapacity(uint64_t meshBytes) {
  if (meshBytes > std::numeric_limits<uint32_t>::max() / 2) return std::nullopt;
  return static_cast<uint32_t>(2 * meshBytes);
}
