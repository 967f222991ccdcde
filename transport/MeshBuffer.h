#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "geometry/TideLinkMesh.h"

// A surface's mesh, kept as its four arrays and encoded into a mesh segment as: vertex count N,
// index count I and UV set count K as 32-bit words, then 3N position floats, 3N normal floats,
// 2KN UV floats and I indices. Kept unencoded so that a mesh can be handed over without a copy;
// the commit's copy into the segment is then the only one.
class MeshBuffer {
public:
  // Copies a mesh. False, with the buffer unchanged, when the arrays do not hold exactly 3N, 3N,
  // 2KN and I elements, a count does not fit 32 bits, or memory runs out. Storage of a previous
  // mesh is reused when the new one fits it, so a steady stream of edits touches no fresh pages.
  bool Assign(uint64_t vertexCount, uint64_t indexCount, uint64_t uvSetCount,
              std::span<const float> positions, std::span<const float> normals,
              std::span<const float> uvs, std::span<const uint32_t> indices);
  // Takes the mesh's arrays without copying them, on the checks of Assign, and leaves the previous
  // mesh in `mesh` (empty when there was none), so the caller can build the next one in its
  // storage. False with both unchanged when the mesh is refused.
  bool Take(TideLinkMesh& mesh);
  // Decodes into `mesh`, replacing its contents; false when empty.
  bool Decode(TideLinkMesh& mesh) const;
  void Clear();

  bool empty() const { return size_ == 0; }
  // The mesh as held; empty arrays when the buffer is.
  const TideLinkMesh& mesh() const { return mesh_; }
  // Bytes of the encoded mesh.
  uint64_t size() const { return size_; }
  // Writes the size() encoded bytes at `out`.
  void Encode(uint8_t* out) const;

private:
  TideLinkMesh mesh_;
  uint64_t size_ = 0;
};

// Bytes of the segment that carries a mesh of `meshBytes`: twice as many, so that the mesh can
// grow in place. Nothing when that would not fit the record's 32-bit capacity field.
std::optional<uint32_t> MeshSegmentCapacity(uint64_t meshBytes);
