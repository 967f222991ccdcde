#pragma once

#include <cstdint>
#include <vector>

// The mesh exchange form handed between mesh building, geometry optimisation and the link
// document. Plain data: whoever holds one owns it, copies are deep.
//
// Layout: positions and normals hold 3 floats per vertex; uvs hold 2 floats per vertex per UV set,
// vertex after vertex (the sets of one vertex are adjacent); indices hold 3 per triangle. A
// well-formed mesh has arrays of exactly those sizes for its counts.
struct TideLinkMesh {
  uint64_t vertexCount = 0;
  uint64_t indexCount = 0;
  uint64_t uvSetCount = 0;
  std::vector<float> positions;
  std::vector<float> normals;
  std::vector<float> uvs;
  std::vector<uint32_t> indices;

  // A mesh with the given counts and every array sized for them and zeroed.
  static TideLinkMesh Create(uint64_t vertexCount, uint64_t indexCount, uint64_t uvSetCount) {
    TideLinkMesh mesh;
    mesh.vertexCount = vertexCount;
    mesh.indexCount = indexCount;
    mesh.uvSetCount = uvSetCount;
    mesh.positions.assign(3 * vertexCount, 0.0f);
    mesh.normals.assign(3 * vertexCount, 0.0f);
    mesh.uvs.assign(2 * vertexCount * uvSetCount, 0.0f);
    mesh.indices.assign(indexCount, 0u);
    return mesh;
  }
};
