#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/SceneId.h"
#include "sdk/VGSOperation.h"

// The host's own drawing: what the scene-change service walks and sends. Plain owned data in host
// units (millimetres, Z up); the stream's payloads point into it, so it must not change while a
// stream runs.

// Unsigned bytes, row by row from the top, channels interleaved (1 grey, 3 RGB, 4 RGBA). An image
// without samples means "no image".
struct DrawingImage {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t channelCount = 0;
  std::vector<uint8_t> samples;

  bool empty() const { return samples.empty(); }
};

struct DrawingMaterial {
  SceneId id;
  std::u16string name;
  double red = 0.8, green = 0.8, blue = 0.8, alpha = 1.0;  // each 0 to 1
  DrawingImage colourImage;
  DrawingImage opacityImage;  // one channel, or none
};

// One surface of a geometry. normals and uvs have one element per position (uvs may be empty);
// every index of triangles is below the position count.
struct DrawingMesh {
  std::vector<VGS::HostVector3> positions;
  std::vector<VGS::HostVector3> normals;
  std::vector<VGS::HostUV> uvs;
  std::vector<VGS::HostTriangle> triangles;
};

struct DrawingGeometry {
  SceneId id;
  std::string name;  // how an edit script names it, unique in the drawing
  std::vector<DrawingMesh> meshes;
  bool isSolid = false;  // the meshes together enclose a volume
};

// Row-major 4×4 for row vectors (p' = p · M), translation in elements 12 to 14.
using DrawingTransform = std::array<double, 16>;
inline constexpr DrawingTransform kIdentityTransform{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct DrawingInstance {
  SceneId id;
  std::string name;  // how an edit script names it, unique in the drawing
  SceneId geometry;
  DrawingTransform transform = kIdentityTransform;
  std::vector<SceneId> surfaceMaterials;  // one per mesh of the geometry
};

struct Drawing {
  std::string description;  // for messages, e.g. "built-in sample" or the file name
  std::string axes;         // how a file's axes were read, e.g. "Z up, as stl files have by convention"
  std::vector<DrawingMaterial> materials;
  std::vector<DrawingGeometry> geometries;
  std::vector<DrawingInstance> instances;
  VGS::CameraReport view{};  // the active view, sent as the view report
};

// Ids of one drawing: distinct per kind, never zero and never kNoSceneId.
enum class DrawingIdKind : uint64_t { kGeometry = 0x47454F4D, kInstance = 0x494E5354, kMaterial = 0x4D41544C };
inline SceneId MakeDrawingId(DrawingIdKind kind, uint64_t index) {
  return SceneId{index + 1, static_cast<uint64_t>(kind)};
}

// The element of `items` with `id`; null when there is none.
template <class Item>
const Item* FindById(const std::vector<Item>& items, const SceneId& id) {
  for (const Item& item : items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

// True when every edge of the meshes, with vertices joined by equal position, is shared by exactly
// two triangles. An empty set of meshes is not closed.
bool IsClosedSurface(const std::vector<DrawingMesh>& meshes);

DrawingTransform TranslationTransform(double x, double y, double z);
DrawingTransform ScaleTransform(double x, double y, double z);
// Turns counter-clockwise seen from above (+Z) by `degrees` about the Z axis through the origin.
DrawingTransform RotationAboutZ(double degrees);

// p · M for a row vector p.
VGS::HostVector3 TransformPoint(const DrawingTransform& matrix, const VGS::HostVector3& point);
// a · b for row-vector matrices: a is applied first.
DrawingTransform MultiplyTransforms(const DrawingTransform& a, const DrawingTransform& b);
// Determinant of the upper-left 3×3; below zero for a mirroring transform.
double LinearDeterminant(const DrawingTransform& matrix);

// A perspective view from above one corner looking at the centre of everything placed, with a
// camera (focal distance above zero). A drawing with nothing placed gets a view of the origin.
VGS::CameraReport OverviewCamera(const Drawing& drawing);
