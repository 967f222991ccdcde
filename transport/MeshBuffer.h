#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "geometry/TideLinkMesh.h"

// A surface's mesh in the bytes of a mesh segment: vertex count N, index count I and UV set count
// K as 32-bit words, then 3N position floats, 3N normal floats, 2KN UV floats and I indices.
class MeshBuffer {
public:
  // Encodes a mesh. False, with the buffer unchanged, when the arrays do not hold exactly 3N, 3N,
  // 2KN and I elements, a count does not fit 32 bits, or memory runs out. Storage of a previous
  // mesh is reused when the new one fits it, so a steady stream of edits touches no fresh pages.
  bool Assign(uint64_t vertexCount, uint64_t indexCount, uint64_t uvSetCount,
              std::span<const float> positions, std::span<const float> normals,
              std::span<const float> uvs, std::span<const uint32_t> indices);
  // Decodes into `mesh`, replacing its contents; false when empty.
  bool Decode(TideLinkMesh& mesh) const;
  void Clear();

  bool empty() const { return size_ == 0; }
  const uint8_t* data() const { return bytes_.get(); }
  uint64_t size() const { return size_; }

private:
  bool Reserve(uint64_t size);

  std::unique_ptr<uint8_t[]> bytes_;
  uint64_t size_ = 0;
  uint64_t capacity_ = 0;
};

// Bytes of the segment that carries a mesh of `meshBytes`: twice as many, so that the mesh can
// grow in place. Nothing when that would not fit the record's 32-bit capacity field.
std::optional<uint32_t> MeshSegmentCapacity(uint64_t meshBytes);
