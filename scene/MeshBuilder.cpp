#include "scene/MeshBuilder.h"

#include <algorithm>
#include <cmath>

#include "geometry/MeshProcessor.h"
#include "scene/HostPayload.h"

namespace {

constexpr float kIdentityTolerance = 1.1920929e-7f;
// Where element i of a host matrix lands: the second and third rows and columns are exchanged.
constexpr int kAxisExchange[16] = {0, 2, 1, 3, 8, 10, 9, 11, 4, 6, 5, 7, 12, 14, 13, 15};

bool indexesVertices(const VGS::HostTriangle& triangle, uint64_t vertexCount) {
  return triangle.a < vertexCount && triangle.b < vertexCount && triangle.c < vertexCount;
}

bool finitePoint(const float* point) {
  return std::isfinite(point[0]) && std::isfinite(point[1]) && std::isfinite(point[2]);
}

// Neither the renderer nor a file reader can use an infinity or a NaN: a direction or texture
// coordinate that is not finite becomes 0.
float finiteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

// A triangle with a corner that is not a finite point is dropped, and so is every non-finite
// number of the mesh, so that none reaches the link document. Indices must be in range.
void dropNonFinite(TideLinkMesh& mesh) {
  std::vector<bool> unusable;
  for (uint64_t k = 0; k < mesh.vertexCount; ++k) {
    float* position = &mesh.positions[3 * k];
    if (!finitePoint(position)) {
      if (unusable.empty()) unusable.resize(mesh.vertexCount);
      unusable[k] = true;
      position[0] = position[1] = position[2] = 0.0f;
    }
  }
  for (float& value : mesh.normals) value = finiteOrZero(value);
  for (float& value : mesh.uvs) value = finiteOrZero(value);
  if (unusable.empty()) return;
  uint64_t kept = 0;
  for (uint64_t k = 0; k + 2 < mesh.indexCount; k += 3) {
    const uint32_t* triangle = &mesh.indices[k];
    if (unusable[triangle[0]] || unusable[triangle[1]] || unusable[triangle[2]]) continue;
    std::copy(triangle, triangle + 3, mesh.indices.begin() + kept);
    kept += 3;
  }
  mesh.indexCount = kept;
  mesh.indices.resize(kept);
}

// Without an early exit, so that the check vectorises like the transform before it.
bool allFinite(std::span<const float> values) {
  bool finite = true;
  for (const float value : values) finite &= std::isfinite(value);
  return finite;
}

// Repairs the surfaces of a solid as one mesh, then gives each surface back its normals and
// indices; repair keeps vertex and triangle order, so the ranges line up.
void repairJointly(std::vector<TideLinkMesh>& surfaces) {
  uint64_t vertexTotal = 0, indexTotal = 0;
  for (const TideLinkMesh& surface : surfaces) {
    vertexTotal += surface.vertexCount;
    indexTotal += surface.indexCount;
  }
  TideLinkMesh combined = TideLinkMesh::Create(vertexTotal, indexTotal, 1);
  uint64_t vertexOffset = 0, indexOffset = 0;
  for (const TideLinkMesh& surface : surfaces) {
    std::copy(surface.positions.begin(), surface.positions.end(),
              combined.positions.begin() + 3 * vertexOffset);
    std::copy(surface.normals.begin(), surface.normals.end(),
              combined.normals.begin() + 3 * vertexOffset);
    for (uint64_t k = 0; k < surface.indexCount; ++k) {
      combined.indices[indexOffset + k] = surface.indices[k] + static_cast<uint32_t>(vertexOffset);
    }
    vertexOffset += surface.vertexCount;
    indexOffset += surface.indexCount;
  }
  repair(combined, kDefaultRepairParams);
  vertexOffset = indexOffset = 0;
  for (TideLinkMesh& surface : surfaces) {
    const auto normals = combined.normals.begin() + 3 * vertexOffset;
    std::copy(normals, normals + 3 * surface.vertexCount, surface.normals.begin());
    for (uint64_t k = 0; k < surface.indexCount; ++k) {
      surface.indices[k] = combined.indices[indexOffset + k] - static_cast<uint32_t>(vertexOffset);
    }
    vertexOffset += surface.vertexCount;
    indexOffset += surface.indexCount;
  }
}

// The matrix that carries normals: the inverse-transpose of the transform's 3×3 part, written so
// that a normal n maps to n·M like a point. A singular part has no inverse; its cofactor matrix
// still carries the directions that survive, so it is used unscaled.
struct NormalMatrix {
  float m[9];
};

NormalMatrix normalMatrix(const Transform& f) {
  const float l00 = f[0], l01 = f[1], l02 = f[2];
  const float l10 = f[4], l11 = f[5], l12 = f[6];
  const float l20 = f[8], l21 = f[9], l22 = f[10];
  NormalMatrix cofactors{{l11 * l22 - l12 * l21, l12 * l20 - l10 * l22, l10 * l21 - l11 * l20,
                          l02 * l21 - l01 * l22, l00 * l22 - l02 * l20, l01 * l20 - l00 * l21,
                          l01 * l12 - l02 * l11, l02 * l10 - l00 * l12, l00 * l11 - l01 * l10}};
  const float determinant = l00 * cofactors.m[0] + l01 * cofactors.m[1] + l02 * cofactors.m[2];
  const float scale = determinant != 0.0f ? 1.0f / determinant : 1.0f;
  for (float& element : cofactors.m) element *= scale;
  return cofactors;
}

NormalMatrix negated(NormalMatrix normals) {
  for (float& element : normals.m) element = -element;
  return normals;
}

// Where the next surface goes in the combined mesh.
struct MeshCursor {
  TideLinkMesh& mesh;
  uint64_t vertexOffset = 0;
  uint64_t indexOffset = 0;
};

void appendIndices(MeshCursor& out, const TideLinkMesh& surface, bool reverse) {
  const uint32_t base = static_cast<uint32_t>(out.vertexOffset);
  uint32_t* __restrict target = out.mesh.indices.data() + out.indexOffset;
  const uint32_t* __restrict source = surface.indices.data();
  const uint64_t count = surface.indexCount;
  if (reverse) {
    // Reversing the whole list turns each triangle (a, b, c) into (c, b, a).
    for (uint64_t k = 0; k < count; ++k) target[k] = source[count - 1 - k] + base;
  } else {
    for (uint64_t k = 0; k < count; ++k) target[k] = source[k] + base;
  }
}

void appendVertices(MeshCursor& out, const TideLinkMesh& surface, const Transform& f,
                    const NormalMatrix& normals) {
  // Matrices in locals and unaliased pointers, so that the loops keep them in registers instead of
  // reloading them after every store.
  const float r00 = f[0], r01 = f[1], r02 = f[2], r10 = f[4], r11 = f[5], r12 = f[6];
  const float r20 = f[8], r21 = f[9], r22 = f[10], t0 = f[12], t1 = f[13], t2 = f[14];
  const uint64_t count = surface.vertexCount;
  float* __restrict position = out.mesh.positions.data() + 3 * out.vertexOffset;
  const float* __restrict sourcePosition = surface.positions.data();
  for (uint64_t k = 0; k < count; ++k) {
    const float x = sourcePosition[3 * k], y = sourcePosition[3 * k + 1], z = sourcePosition[3 * k + 2];
    position[3 * k + 0] = x * r00 + y * r10 + z * r20 + t0;
    position[3 * k + 1] = x * r01 + y * r11 + z * r21 + t1;
    position[3 * k + 2] = x * r02 + y * r12 + z * r22 + t2;
  }
  const float* m = normals.m;
  const float n00 = m[0], n01 = m[1], n02 = m[2], n10 = m[3], n11 = m[4], n12 = m[5];
  const float n20 = m[6], n21 = m[7], n22 = m[8];
  float* __restrict normal = out.mesh.normals.data() + 3 * out.vertexOffset;
  const float* __restrict sourceNormal = surface.normals.data();
  for (uint64_t k = 0; k < count; ++k) {
    const float x = sourceNormal[3 * k], y = sourceNormal[3 * k + 1], z = sourceNormal[3 * k + 2];
    normal[3 * k + 0] = x * n00 + y * n10 + z * n20;
    normal[3 * k + 1] = x * n01 + y * n11 + z * n21;
    normal[3 * k + 2] = x * n02 + y * n12 + z * n22;
  }
  // An empty surface may have no storage at all: std::copy takes its null pointer, memcpy does not.
  std::copy(surface.uvs.begin(), surface.uvs.begin() + 2 * count,
            out.mesh.uvs.begin() + 2 * out.vertexOffset);
}

void appendSurface(MeshCursor& out, const TideLinkMesh& surface, const Transform& transform,
                   const NormalMatrix& normals, bool reverse) {
  appendIndices(out, surface, reverse);
  appendVertices(out, surface, transform, normals);
  out.vertexOffset += surface.vertexCount;
  out.indexOffset += surface.indexCount;
}

}  // namespace

TideLinkMesh convertMesh(const VGS::HostMesh& hostMesh) {
  const auto positions = elementsOf(hostMesh.positions);
  const auto normals = elementsOf(hostMesh.normals);
  const auto channels = elementsOf(hostMesh.uvChannels);
  const auto uvs = channels.empty() ? std::span<const VGS::HostUV>{} : elementsOf(channels[0]);
  const auto triangles = elementsOf(hostMesh.triangles);
  const uint64_t vertexCount = positions.size();
  const auto keptTriangles = std::count_if(
      triangles.begin(), triangles.end(),
      [&](const VGS::HostTriangle& triangle) { return indexesVertices(triangle, vertexCount); });

  TideLinkMesh mesh = TideLinkMesh::Create(vertexCount, 3 * static_cast<uint64_t>(keptTriangles), 1);
  for (uint64_t k = 0; k < vertexCount; ++k) {
    const VGS::HostVector3& p = positions[k];
    mesh.positions[3 * k + 0] = static_cast<float>(p.x) * kUnitScale;
    mesh.positions[3 * k + 1] = static_cast<float>(p.z) * kUnitScale;
    mesh.positions[3 * k + 2] = static_cast<float>(p.y) * kUnitScale;
    if (k < normals.size()) {
      mesh.normals[3 * k + 0] = static_cast<float>(normals[k].x);
      mesh.normals[3 * k + 1] = static_cast<float>(normals[k].z);
      mesh.normals[3 * k + 2] = static_cast<float>(normals[k].y);
    }
    const bool hasUv = k < uvs.size();
    mesh.uvs[2 * k + 0] = hasUv ? static_cast<float>(uvs[k].u) : 0.0f;
    mesh.uvs[2 * k + 1] = hasUv ? static_cast<float>(uvs[k].v) : 1.0f;
  }
  uint64_t next = 0;
  for (const VGS::HostTriangle& triangle : triangles) {
    if (!indexesVertices(triangle, vertexCount)) continue;
    mesh.indices[next++] = triangle.a;
    mesh.indices[next++] = triangle.b;
    mesh.indices[next++] = triangle.c;
  }
  dropNonFinite(mesh);
  return mesh;
}

void postProcess(std::vector<TideLinkMesh>& surfaces, bool isSolid,
                 const GeometrySettings& settings) {
  if (settings.repair) {
    if (!isSolid) {
      for (TideLinkMesh& surface : surfaces) repair(surface, kPerSurfaceRepairParams);
    } else if (surfaces.size() == 1) {
      repair(surfaces.front(), kDefaultRepairParams);
    } else if (surfaces.size() > 1) {
      repairJointly(surfaces);
    }
  }
  if (settings.optimise) {
    for (TideLinkMesh& surface : surfaces) optimise(surface);
  }
}

Transform convertTransform(const double (&hostMatrix)[16]) {
  const float weight = static_cast<float>(hostMatrix[15]);
  const float factor = weight == 0.0f ? 1.0f : 1.0f / weight;
  Transform transform;
  for (int i = 0; i < 16; ++i) {
    transform[kAxisExchange[i]] = static_cast<float>(hostMatrix[i]) * factor;
  }
  for (int i = 12; i < 15; ++i) transform[i] *= kUnitScale;
  transform[15] = 1.0f;
  return transform;
}

bool mirrored(const Transform& f) {
  const float determinant = f[0] * (f[5] * f[10] - f[6] * f[9]) -
                            f[1] * (f[4] * f[10] - f[6] * f[8]) +
                            f[2] * (f[4] * f[9] - f[5] * f[8]);
  return determinant < 0.0f;
}

bool isIdentity(const Transform& transform) {
  for (int i = 0; i < 16; ++i) {
    if (!(std::fabs(transform[i] - kIdentityTransform[i]) <= kIdentityTolerance)) return false;
  }
  return true;
}

void assembleMesh(std::span<const MeshGatherRecord> records, uint64_t vertexTotal,
                  uint64_t indexTotal, TideLinkMesh& mesh) {
  // Every element is written below, so storage the mesh already has is not cleared first.
  mesh.vertexCount = vertexTotal;
  mesh.indexCount = indexTotal;
  mesh.uvSetCount = 1;
  mesh.positions.resize(3 * vertexTotal);
  mesh.normals.resize(3 * vertexTotal);
  mesh.uvs.resize(2 * vertexTotal);
  mesh.indices.resize(indexTotal);
  MeshCursor cursor{mesh};
  for (const MeshGatherRecord& record : records) {
    const NormalMatrix front = normalMatrix(*record.transform);
    const NormalMatrix back = negated(front);
    for (const TideLinkMesh* surface : record.surfaces) {
      appendSurface(cursor, *surface, *record.transform, front, record.flip);
      if (record.twoSided) appendSurface(cursor, *surface, *record.transform, back, !record.flip);
    }
  }
  // Finite points under a transform can still overflow, and a transform can itself be infinite.
  if (!allFinite(mesh.positions) || !allFinite(mesh.normals)) dropNonFinite(mesh);
}

TideLinkMesh assembleMesh(const std::vector<MeshGatherRecord>& records, uint64_t vertexTotal,
                          uint64_t indexTotal) {
  TideLinkMesh mesh;
  assembleMesh(records, vertexTotal, indexTotal, mesh);
  return mesh;
}
