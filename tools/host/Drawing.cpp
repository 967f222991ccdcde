#include "tools/host/Drawing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <bit>
#include <unordered_map>

namespace {

struct PositionHash {
  size_t operator()(const VGS::HostVector3& p) const noexcept {
    const auto bits = [](double value) { return std::bit_cast<uint64_t>(value + 0.0); };  // -0 as 0
    return size_t((bits(p.x) * 0x9E3779B97F4A7C15ull) ^ (bits(p.y) * 0xC2B2AE3D27D4EB4Full) ^ bits(p.z));
  }
};
struct PositionEqual {
  bool operator()(const VGS::HostVector3& a, const VGS::HostVector3& b) const noexcept {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  }
};
struct EdgeHash {
  size_t operator()(uint64_t edge) const noexcept { return size_t(edge * 0x9E3779B97F4A7C15ull); }
};

}  // namespace

bool IsClosedSurface(const std::vector<DrawingMesh>& meshes) {
  // Meshes repeat a position per face for flat normals, so edges are compared by position.
  std::unordered_map<VGS::HostVector3, uint32_t, PositionHash, PositionEqual> welded;
  std::unordered_map<uint64_t, uint32_t, EdgeHash> edgeUses;
  bool anyTriangle = false;
  for (const DrawingMesh& mesh : meshes) {
    std::vector<uint32_t> weldedIndex(mesh.positions.size());
    for (size_t vertex = 0; vertex < mesh.positions.size(); ++vertex) {
      const VGS::HostVector3& p = mesh.positions[vertex];
      weldedIndex[vertex] = welded.emplace(p, uint32_t(welded.size())).first->second;
    }
    for (const VGS::HostTriangle& triangle : mesh.triangles) {
      const uint32_t corners[3] = {triangle.a, triangle.b, triangle.c};
      if (std::any_of(corners, corners + 3, [&](uint32_t index) { return index >= weldedIndex.size(); })) {
        return false;
      }
      anyTriangle = true;
      for (int side = 0; side < 3; ++side) {
        uint32_t from = weldedIndex[corners[side]];
        uint32_t to = weldedIndex[corners[(side + 1) % 3]];
        if (from > to) std::swap(from, to);
        ++edgeUses[(uint64_t(from) << 32) | to];
      }
    }
  }
  if (!anyTriangle) return false;
  return std::all_of(edgeUses.begin(), edgeUses.end(), [](const auto& edge) { return edge.second == 2; });
}

DrawingTransform TranslationTransform(double x, double y, double z) {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

DrawingTransform ScaleTransform(double x, double y, double z) { return {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1}; }

DrawingTransform RotationAboutZ(double degrees) {
  const double radians = degrees * std::numbers::pi / 180;
  const double c = std::cos(radians), s = std::sin(radians);
  // Row vectors: x' = x·c − y·s, y' = x·s + y·c.
  return {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

VGS::HostVector3 TransformPoint(const DrawingTransform& m, const VGS::HostVector3& p) {
  return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
          p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

DrawingTransform MultiplyTransforms(const DrawingTransform& a, const DrawingTransform& b) {
  DrawingTransform result{};
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[row * 4 + k] * b[k * 4 + column];
      result[row * 4 + column] = sum;
    }
  }
  return result;
}

double LinearDeterminant(const DrawingTransform& m) {
  return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
         m[2] * (m[4] * m[9] - m[5] * m[8]);
}

VGS::CameraReport OverviewCamera(const Drawing& drawing) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  VGS::HostVector3 low{kInfinity, kInfinity, kInfinity};
  VGS::HostVector3 high{-kInfinity, -kInfinity, -kInfinity};
  // Looked up once per instance; a drawing may place thousands of instances of thousands of geometries.
  std::unordered_map<SceneId, const DrawingGeometry*, SceneIdHash> geometries;
  for (const DrawingGeometry& geometry : drawing.geometries) geometries.emplace(geometry.id, &geometry);
  for (const DrawingInstance& instance : drawing.instances) {
    const auto geometry = geometries.find(instance.geometry);
    if (geometry == geometries.end()) continue;
    for (const DrawingMesh& mesh : geometry->second->meshes) {
      for (const VGS::HostVector3& position : mesh.positions) {
        const VGS::HostVector3 p = TransformPoint(instance.transform, position);
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
      }
    }
  }
  if (!(low.x <= high.x)) low = high = {0, 0, 0};
  const VGS::HostVector3 centre{(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
  const double size = std::max({high.x - low.x, high.y - low.y, high.z - low.z, 1000.0});

  // From the front-left corner, a little above, so that the whole drawing fits a 50 mm lens.
  const VGS::HostVector3 eye{centre.x - size, centre.y - 1.5 * size, centre.z + size};
  VGS::HostVector3 d{centre.x - eye.x, centre.y - eye.y, centre.z - eye.z};
  const double distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  d = {d.x / distance, d.y / distance, d.z / distance};
  // Up: world Z with its part along the view direction removed.
  VGS::HostVector3 up{-d.z * d.x, -d.z * d.y, 1 - d.z * d.z};
  const double upLength = std::sqrt(up.x * up.x + up.y * up.y + up.z * up.z);
  up = {up.x / upLength, up.y / upLength, up.z / upLength};

  VGS::CameraReport view{};
  view.eye[0] = eye.x;
  view.eye[1] = eye.y;
  view.eye[2] = eye.z;
  view.direction[0] = d.x;
  view.direction[1] = d.y;
  view.direction[2] = d.z;
  view.up[0] = up.x;
  view.up[1] = up.y;
  view.up[2] = up.z;
  view.extent = 36.0;
  view.focalDistance = 50.0;
  return view;
}
