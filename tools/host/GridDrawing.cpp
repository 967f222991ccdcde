#include "tools/host/GridDrawing.h"

#include <algorithm>
#include <string>

namespace {

constexpr uint32_t kSurfaces = 100;
constexpr uint32_t kSurfacesPerRow = 10;
constexpr uint32_t kMaterials = 8;
constexpr uint32_t kColumns = 100;
constexpr double kCellMillimetres = 20;

// A grid of columns × rows quads in the XY plane, its height rippling a little from cell to cell
// and its normals leaning with it, UVs across the whole grid.
DrawingMesh GridMesh(uint32_t surface, uint32_t rows) {
  DrawingMesh mesh;
  for (uint32_t row = 0; row <= rows; ++row) {
    for (uint32_t column = 0; column <= kColumns; ++column) {
      const double height = 3.0 * ((column * 7 + row * 3 + surface) % 11);
      mesh.positions.push_back({column * kCellMillimetres, row * kCellMillimetres, height});
      mesh.normals.push_back({0.0625 * (column % 3), -0.125 * (row % 2), 1});
      mesh.uvs.push_back({static_cast<double>(column) / kColumns, static_cast<double>(row) / rows});
    }
  }
  for (uint32_t row = 0; row < rows; ++row) {
    for (uint32_t column = 0; column < kColumns; ++column) {
      const uint32_t corner = row * (kColumns + 1) + column;
      mesh.triangles.push_back({corner, corner + 1, corner + kColumns + 2});
      mesh.triangles.push_back({corner, corner + kColumns + 2, corner + kColumns + 1});
    }
  }
  return mesh;
}

DrawingMaterial GridMaterial(uint32_t index) {
  DrawingMaterial material;
  material.id = MakeDrawingId(DrawingIdKind::kMaterial, index);
  material.name = u"Grid " + std::u16string(1, static_cast<char16_t>(u'A' + index));
  material.red = 0.125 * (index + 1);
  material.green = 0.0625 * ((index * 5) % 16);
  material.blue = 1 - 0.125 * index;
  return material;
}

}  // namespace

Drawing MakeGridDrawing(uint32_t triangleCount) {
  const uint32_t rows = std::max<uint32_t>(1, triangleCount / (kSurfaces * 2 * kColumns));
  Drawing drawing;
  drawing.description = "generated grid of " + std::to_string(kSurfaces * 2 * kColumns * rows) + " triangles";
  drawing.axes = "Z up, as generated";
  for (uint32_t index = 0; index < kMaterials; ++index) drawing.materials.push_back(GridMaterial(index));
  const double width = kColumns * kCellMillimetres + 500, depth = rows * kCellMillimetres + 500;
  for (uint32_t surface = 0; surface < kSurfaces; ++surface) {
    DrawingGeometry geometry{MakeDrawingId(DrawingIdKind::kGeometry, surface), "grid-" + std::to_string(surface + 1),
                             {GridMesh(surface, rows)}, false};
    DrawingInstance instance;
    instance.id = MakeDrawingId(DrawingIdKind::kInstance, surface);
    instance.name = "grid-" + std::to_string(surface + 1);
    instance.geometry = geometry.id;
    instance.transform = TranslationTransform(width * (surface % kSurfacesPerRow), depth * (surface / kSurfacesPerRow), 0);
    instance.surfaceMaterials = {MakeDrawingId(DrawingIdKind::kMaterial, surface % kMaterials)};
    drawing.geometries.push_back(std::move(geometry));
    drawing.instances.push_back(std::move(instance));
  }
  drawing.view = OverviewCamera(drawing);
  return drawing;
}
