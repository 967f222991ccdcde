#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry/TideLinkMesh.h"
#include "sdk/VGSOperation.h"

// Host geometry in link coordinates: a host (x, y, z) is the link's (x, z, y), lengths in metres
// (host millimetres × 0.001), directions unscaled. Host doubles become floats here, once, so that
// rebuilding a surface only transforms and copies.

// A 4×4 transform in row-vector convention: a point p maps to p·F, translation in the fourth row.
using Transform = std::array<float, 16>;

inline constexpr float kUnitScale = 0.001f;
inline constexpr Transform kIdentityTransform{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// What a geometry's meshes go through after conversion.
struct GeometrySettings {
  bool repair = true;
  bool optimise = false;
};

// One link mesh (one UV set) from a host mesh record. Safe on any record: triangles with an index
// at or beyond the vertex count or a corner that is not a finite point are dropped, missing or
// non-finite normals and UV coordinates are zero (missing UVs are (0, 1)), and a sequence without
// data counts as empty. The result holds finite numbers only.
TideLinkMesh convertMesh(const VGS::HostMesh& hostMesh);

// Repairs and optimises the converted surfaces of one geometry as the settings ask. The surfaces
// of a solid are repaired together, so that winding agrees across surface borders; each surface
// keeps its own vertex and index counts.
void postProcess(std::vector<TideLinkMesh>& surfaces, bool isSolid, const GeometrySettings& settings);

// A host matrix (row-major, translation in elements 12 to 14, element 15 the weight) in link
// coordinates; a weight of 0 counts as 1.
Transform convertTransform(const double (&hostMatrix)[16]);

// The transform turns space inside out (its 3×3 part has a negative determinant).
bool mirrored(const Transform& transform);

// Every element within 1.1920929e-7 of the identity's.
bool isIdentity(const Transform& transform);

// The surfaces one instance contributes to one material's combined mesh.
struct MeshGatherRecord {
  bool twoSided = false;
  // Triangles of this instance face the other way (the winding is reversed on the front side).
  bool flip = false;
  const Transform* transform = nullptr;
  std::vector<const TideLinkMesh*> surfaces;
};

// The most vertices a combined mesh may have: its indices are 32-bit.
inline constexpr uint64_t kMaxCombinedVertices = 0xFFFFFFFFull;

// The combined, world-space mesh of the records: for each record and surface, the surface facing
// front and, when two-sided, again facing back (normals negated, winding reversed). Allocated once
// from the totals. Triangles whose world-space corners are not all finite are left out, so the
// index count may end below the total; non-finite normals become 0. Every source index must be
// below its surface's vertex count, and the vertex total below 2^32.
TideLinkMesh assembleMesh(const std::vector<MeshGatherRecord>& records, uint64_t vertexTotal,
                          uint64_t indexTotal);
// The same into `mesh`, whose arrays are resized to the totals and fully overwritten; storage it
// already has is reused.
void assembleMesh(std::span<const MeshGatherRecord> records, uint64_t vertexTotal,
                  uint64_t indexTotal, TideLinkMesh& mesh);
