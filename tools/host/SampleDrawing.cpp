#include "tools/host/SampleDrawing.h"

#include <cmath>

namespace {

using VGS::HostTriangle;
using VGS::HostUV;
using VGS::HostVector3;

enum SampleMaterial : uint64_t { kLawn, kBrick, kRoofTiles, kWindowGlass, kPoolWater, kConcrete, kSteel, kLeafScreen };
enum SampleGeometry : uint64_t { kBox, kQuad, kWedge };

SceneId MaterialId(SampleMaterial material) { return MakeDrawingId(DrawingIdKind::kMaterial, material); }
SceneId GeometryId(SampleGeometry geometry) { return MakeDrawingId(DrawingIdKind::kGeometry, geometry); }

// Appends a flat face: its corners in counter-clockwise order seen from outside, UVs running
// across the face from 0 to 1.
void AddFace(DrawingMesh& mesh, std::initializer_list<HostVector3> corners, HostVector3 normal) {
  static constexpr HostUV kCornerUVs[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  const uint32_t first = uint32_t(mesh.positions.size());
  int corner = 0;
  for (const HostVector3& position : corners) {
    mesh.positions.push_back(position);
    mesh.normals.push_back(normal);
    mesh.uvs.push_back(corners.size() == 3 && corner == 2 ? HostUV{0, 1} : kCornerUVs[corner]);
    ++corner;
  }
  for (uint32_t fan = 1; fan + 1 < corners.size(); ++fan) {
    mesh.triangles.push_back(HostTriangle{first, first + fan, first + fan + 1});
  }
}

// A 1000 mm cube from the origin; surface 0 holds the four sides, surface 1 the top and bottom.
DrawingGeometry Box() {
  DrawingGeometry box{GeometryId(kBox), "box", std::vector<DrawingMesh>(2), true};
  DrawingMesh& sides = box.meshes[0];
  AddFace(sides, {{0, 0, 0}, {1000, 0, 0}, {1000, 0, 1000}, {0, 0, 1000}}, {0, -1, 0});
  AddFace(sides, {{1000, 0, 0}, {1000, 1000, 0}, {1000, 1000, 1000}, {1000, 0, 1000}}, {1, 0, 0});
  AddFace(sides, {{1000, 1000, 0}, {0, 1000, 0}, {0, 1000, 1000}, {1000, 1000, 1000}}, {0, 1, 0});
  AddFace(sides, {{0, 1000, 0}, {0, 0, 0}, {0, 0, 1000}, {0, 1000, 1000}}, {-1, 0, 0});
  DrawingMesh& caps = box.meshes[1];
  AddFace(caps, {{0, 0, 1000}, {1000, 0, 1000}, {1000, 1000, 1000}, {0, 1000, 1000}}, {0, 0, 1});
  AddFace(caps, {{0, 1000, 0}, {1000, 1000, 0}, {1000, 0, 0}, {0, 0, 0}}, {0, 0, -1});
  return box;
}

// A 1000 mm square in the XY plane facing +Z: an open surface, seen from both sides.
DrawingGeometry Quad() {
  DrawingGeometry quad{GeometryId(kQuad), "quad", std::vector<DrawingMesh>(1), false};
  AddFace(quad.meshes[0], {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 1000, 0}}, {0, 0, 1});
  return quad;
}

// A closed prism whose slope falls towards +X, so that its mirror image differs from it.
DrawingGeometry Wedge() {
  DrawingGeometry wedge{GeometryId(kWedge), "wedge", std::vector<DrawingMesh>(1), true};
  DrawingMesh& mesh = wedge.meshes[0];
  const double slope = 1 / std::sqrt(2.0);
  AddFace(mesh, {{0, 0, 0}, {1000, 0, 0}, {0, 0, 1000}}, {0, -1, 0});
  AddFace(mesh, {{0, 1000, 0}, {0, 1000, 1000}, {1000, 1000, 0}}, {0, 1, 0});
  AddFace(mesh, {{0, 0, 0}, {0, 0, 1000}, {0, 1000, 1000}, {0, 1000, 0}}, {-1, 0, 0});
  AddFace(mesh, {{0, 0, 0}, {0, 1000, 0}, {1000, 1000, 0}, {1000, 0, 0}}, {0, 0, -1});
  AddFace(mesh, {{1000, 0, 0}, {1000, 1000, 0}, {0, 1000, 1000}, {0, 0, 1000}}, {slope, 0, slope});
  return wedge;
}

// Red bricks in a running bond with grey mortar, RGB.
DrawingImage BrickImage() {
  DrawingImage image{128, 128, 3, std::vector<uint8_t>(128 * 128 * 3)};
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const int course = y / 16;
      const bool mortar = y % 16 < 2 || (x + (course % 2) * 16) % 32 < 2;
      const uint8_t shade = uint8_t((x * 7 + y * 13) % 23);
      uint8_t* pixel = &image.samples[(size_t(y) * image.width + x) * 3];
      pixel[0] = mortar ? 190 : uint8_t(150 + shade);
      pixel[1] = mortar ? 185 : uint8_t(60 + shade / 2);
      pixel[2] = mortar ? 175 : uint8_t(45 + shade / 2);
    }
  }
  return image;
}

// A green gradient with round holes: the colour image (RGB) and the opacity image (grey, 0 in
// the holes).
void LeafImages(DrawingImage& colour, DrawingImage& opacity) {
  colour = {64, 64, 3, std::vector<uint8_t>(64 * 64 * 3)};
  opacity = {64, 64, 1, std::vector<uint8_t>(64 * 64)};
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint8_t* pixel = &colour.samples[(size_t(y) * 64 + x) * 3];
      pixel[0] = uint8_t(40 + x);
      pixel[1] = uint8_t(120 + y);
      pixel[2] = 40;
      const int dx = x % 16 - 8, dy = y % 16 - 8;
      opacity.samples[size_t(y) * 64 + x] = dx * dx + dy * dy < 20 ? 0 : 255;
    }
  }
}

DrawingMaterial Material(SampleMaterial material, const char16_t* name, double red, double green, double blue,
                         double alpha = 1.0) {
  DrawingMaterial entry;
  entry.id = MaterialId(material);
  entry.name = name;
  entry.red = red;
  entry.green = green;
  entry.blue = blue;
  entry.alpha = alpha;
  return entry;
}


// Turns the XY plane upright into the XZ plane, facing −Y.
constexpr DrawingTransform kStandUp{1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};

void Place(Drawing& drawing, const char* name, SampleGeometry geometry, const DrawingTransform& transform,
           std::initializer_list<SampleMaterial> materials) {
  DrawingInstance instance;
  instance.id = MakeDrawingId(DrawingIdKind::kInstance, drawing.instances.size());
  instance.name = name;
  instance.geometry = GeometryId(geometry);
  instance.transform = transform;
  for (SampleMaterial material : materials) instance.surfaceMaterials.push_back(MaterialId(material));
  drawing.instances.push_back(std::move(instance));
}

}  // namespace

Drawing MakeSampleDrawing() {
  Drawing drawing;
  drawing.description = "built-in sample";

  drawing.materials.push_back(Material(kLawn, u"Lawn", 0.35, 0.6, 0.25));
  drawing.materials.push_back(Material(kBrick, u"Brick wall", 0.7, 0.35, 0.25));
  drawing.materials.back().colourImage = BrickImage();
  drawing.materials.push_back(Material(kRoofTiles, u"Roof tiles", 0.6, 0.25, 0.2));
  drawing.materials.push_back(Material(kWindowGlass, u"Window glass", 0.7, 0.85, 0.95, 0.3));
  drawing.materials.push_back(Material(kPoolWater, u"Pool water", 0.2, 0.45, 0.8, 0.8));
  drawing.materials.push_back(Material(kConcrete, u"Concrete", 0.7, 0.7, 0.68));
  drawing.materials.push_back(Material(kSteel, u"Painted steel", 0.3, 0.3, 0.35));
  drawing.materials.push_back(Material(kLeafScreen, u"Leaf screen", 0.3, 0.6, 0.2));
  LeafImages(drawing.materials.back().colourImage, drawing.materials.back().opacityImage);

  drawing.geometries.push_back(Box());
  drawing.geometries.push_back(Quad());
  drawing.geometries.push_back(Wedge());

  Place(drawing, "lawn", kQuad, MultiplyTransforms(ScaleTransform(20, 20, 1), TranslationTransform(-10000, -10000, 0)), {kLawn});
  Place(drawing, "house", kBox, MultiplyTransforms(ScaleTransform(6, 4, 3), TranslationTransform(-5000, -2000, 0)), {kBrick, kRoofTiles});
  Place(drawing, "plinth", kBox, MultiplyTransforms(ScaleTransform(1, 1, 0.5), TranslationTransform(3000, 3000, 0)), {kConcrete, kConcrete});
  Place(drawing, "post", kBox, MultiplyTransforms(ScaleTransform(0.4, 0.4, 3), TranslationTransform(6000, -1000, 0)), {kSteel, kSteel});
  const DrawingTransform pane = MultiplyTransforms(ScaleTransform(1.2, 1.2, 1), kStandUp);
  Place(drawing, "window-1", kQuad, MultiplyTransforms(pane, TranslationTransform(-4000, -2010, 900)), {kWindowGlass});
  Place(drawing, "window-2", kQuad, MultiplyTransforms(pane, TranslationTransform(-1500, -2010, 900)), {kWindowGlass});
  Place(drawing, "pool", kQuad, MultiplyTransforms(ScaleTransform(4, 2.5, 1), TranslationTransform(1000, -7000, 10)), {kPoolWater});
  Place(drawing, "screen", kQuad, MultiplyTransforms(MultiplyTransforms(ScaleTransform(2, 2, 1), kStandUp), TranslationTransform(-8000, -5000, 0)),
        {kLeafScreen});
  Place(drawing, "ramp", kWedge, MultiplyTransforms(ScaleTransform(1.5, 2, 1), TranslationTransform(6000, -6000, 0)), {kSteel});
  // The same wedge reflected across the YZ plane: a transform with a negative determinant.
  Place(drawing, "mirrored-ramp", kWedge, MultiplyTransforms(ScaleTransform(-1.5, 2, 1), TranslationTransform(-6500, 4000, 0)), {kConcrete});

  drawing.view = OverviewCamera(drawing);
  return drawing;
}
