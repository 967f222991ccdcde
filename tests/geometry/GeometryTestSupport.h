#pragma once

#include <cstring>
#include <functional>
#include <initializer_list>

#include <gtest/gtest.h>

#include "geometry/TideLinkMesh.h"
#include "platform/Parallel.h"

namespace GeometryTest {

struct Vertex {
  float position[3];
  float normal[3];
  float uv[2];
};

inline TideLinkMesh MakeMesh(std::initializer_list<Vertex> vertices,
                             std::initializer_list<uint32_t> indices) {
  TideLinkMesh mesh = TideLinkMesh::Create(vertices.size(), indices.size(), 1);
  size_t v = 0;
  for (const Vertex& vertex : vertices) {
    std::memcpy(&mesh.positions[3 * v], vertex.position, sizeof(vertex.position));
    std::memcpy(&mesh.normals[3 * v], vertex.normal, sizeof(vertex.normal));
    std::memcpy(&mesh.uvs[2 * v], vertex.uv, sizeof(vertex.uv));
    ++v;
  }
  std::copy(indices.begin(), indices.end(), mesh.indices.begin());
  return mesh;
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Bitwise, so that NaN normals compare too.
inline bool SameMesh(const TideLinkMesh& a, const TideLinkMesh& b) {
  return a.vertexCount == b.vertexCount && a.indexCount == b.indexCount &&
         a.uvSetCount == b.uvSetCount && SameBits(a.positions, b.positions) &&
         SameBits(a.normals, b.normals) && SameBits(a.uvs, b.uvs) && SameBits(a.indices, b.indices);
}

struct RunResult {
  bool changed = false;
  TideLinkMesh mesh;
};

// Runs the operation on a copy with one worker and on another copy with eight, and expects the
// same result and the same mesh from both.
inline RunResult RunBothWays(const TideLinkMesh& input,
                             const std::function<bool(TideLinkMesh&)>& operation) {
  RunResult serial{false, input};
  {
    const platform::WorkerLimit one(1);
    serial.changed = operation(serial.mesh);
  }
  RunResult parallel{false, input};
  {
    const platform::WorkerLimit many(8);
    parallel.changed = operation(parallel.mesh);
  }
  EXPECT_EQ(serial.changed, parallel.changed);
  EXPECT_TRUE(SameMesh(serial.mesh, parallel.mesh)) << "one worker and many disagree";
  return serial;
}

}  // namespace GeometryTest
