#include "tools/host/DrawingSummary.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "platform/TextConversion.h"

namespace {

struct Drawn {
  uint64_t solidTriangles = 0;
  uint64_t openTriangles = 0;
  VGS::HostVector3 low{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::infinity()};
  VGS::HostVector3 high{-low.x, -low.y, -low.z};

  void Add(const DrawingMesh& mesh, const DrawingTransform& transform, bool solid) {
    (solid ? solidTriangles : openTriangles) += mesh.triangles.size();
    for (const VGS::HostVector3& position : mesh.positions) {
      const VGS::HostVector3 p = TransformPoint(transform, position);
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
  }
};

nlohmann::json ImageSize(const DrawingImage& image) {
  if (image.empty()) return nullptr;
  return {image.width, image.height, image.channelCount};
}

void PutDrawn(nlohmann::json& entry, const Drawn& drawn) {
  entry["solidTriangles"] = drawn.solidTriangles;
  entry["openTriangles"] = drawn.openTriangles;
  const bool any = drawn.low.x <= drawn.high.x;
  entry["min"] = any ? nlohmann::json{drawn.low.x, drawn.low.y, drawn.low.z} : nlohmann::json(nullptr);
  entry["max"] = any ? nlohmann::json{drawn.high.x, drawn.high.y, drawn.high.z} : nlohmann::json(nullptr);
}

}  // namespace

nlohmann::json SummariseDrawing(const Drawing& drawing) {
  std::unordered_map<SceneId, Drawn, SceneIdHash> drawn;
  Drawn unknown;
  for (const DrawingInstance& instance : drawing.instances) {
    const DrawingGeometry* geometry = FindById(drawing.geometries, instance.geometry);
    if (!geometry) continue;
    const size_t surfaces = std::min(geometry->meshes.size(), instance.surfaceMaterials.size());
    for (size_t surface = 0; surface < surfaces; ++surface) {
      const SceneId& material = instance.surfaceMaterials[surface];
      Drawn& target = FindById(drawing.materials, material) ? drawn[material] : unknown;
      target.Add(geometry->meshes[surface], instance.transform, geometry->isSolid);
    }
  }
  nlohmann::json materials = nlohmann::json::array();
  for (const DrawingMaterial& material : drawing.materials) {
    nlohmann::json entry{{"name", platform::Utf8FromUtf16(material.name)},
                         {"known", true},
                         {"colour", {material.red, material.green, material.blue, material.alpha}},
                         {"colourImage", ImageSize(material.colourImage)},
                         {"opacityImage", ImageSize(material.opacityImage)}};
    PutDrawn(entry, drawn[material.id]);
    materials.push_back(std::move(entry));
  }
  nlohmann::json entry{{"name", nullptr}, {"known", false}};
  PutDrawn(entry, unknown);
  materials.push_back(std::move(entry));
  return materials;
}
