#include "tools/host/DrawingOperations.h"

#include <algorithm>

namespace {

template <class T>
Sequence<T> SequenceOf(const std::vector<T>& elements) {
  return {elements.data(), elements.size()};
}

VGS::HostMaterialImage HostImage(const DrawingImage& image) {
  if (image.empty()) return {0, 0, 0, VGS::kSampleUnsignedByte, nullptr};
  return {image.width, image.height, image.channelCount, VGS::kSampleUnsignedByte, image.samples.data()};
}

}  // namespace

DrawingOperations::DrawingOperations(std::shared_ptr<const Drawing> drawing, size_t maxBatchOperations)
    : drawing_(std::move(drawing)), maxBatchOperations_(std::max<size_t>(maxBatchOperations, 1)) {
  const Drawing& source = *drawing_;
  // Every payload vector is sized once, so that the records' pointers into them stay valid.
  addMaterial_.reserve(source.materials.size());
  materialProperties_.reserve(source.materials.size());
  uvChannels_.reserve(source.geometries.size());
  hostMeshes_.reserve(source.geometries.size());
  setGeometry_.reserve(source.geometries.size());
  placeInstance_.reserve(source.instances.size());
  instanceTransform_.reserve(source.instances.size());
  surfaceMaterials_.reserve(source.instances.size());
  instanceMaterials_.reserve(source.instances.size());

  StartSection();
  for (const DrawingMaterial& material : source.materials) {
    addMaterial_.push_back({material.id, TXString(material.name)});
    VGS::SetMaterialPropertiesData& properties = materialProperties_.emplace_back();
    properties.material = material.id;
    properties.red = material.red;
    properties.green = material.green;
    properties.blue = material.blue;
    properties.alpha = material.alpha;
    properties.colourImage = HostImage(material.colourImage);
    properties.opacityImage = HostImage(material.opacityImage);
    AddGroup({{VGS::kAddMaterial, &addMaterial_.back()}, {VGS::kSetMaterialProperties, &properties}});
  }

  StartSection();
  for (const DrawingGeometry& geometry : source.geometries) {
    auto& channels = uvChannels_.emplace_back();
    for (const DrawingMesh& mesh : geometry.meshes) channels.push_back(SequenceOf(mesh.uvs));
    auto& meshes = hostMeshes_.emplace_back();
    for (size_t index = 0; index < geometry.meshes.size(); ++index) {
      const DrawingMesh& mesh = geometry.meshes[index];
      const Sequence<Sequence<VGS::HostUV>> uvs =
          mesh.uvs.empty() ? Sequence<Sequence<VGS::HostUV>>{} : Sequence<Sequence<VGS::HostUV>>{&channels[index], 1};
      meshes.push_back({SequenceOf(mesh.positions), SequenceOf(mesh.normals), uvs, SequenceOf(mesh.triangles)});
    }
    setGeometry_.push_back({geometry.id, SequenceOf(meshes), uint8_t(geometry.isSolid ? 1 : 0)});
    AddGroup({{VGS::kSetGeometry, &setGeometry_.back()}});
  }

  StartSection();
  for (const DrawingInstance& instance : source.instances) {
    placeInstance_.push_back({instance.id, instance.geometry});
    VGS::SetInstanceTransformData& transform = instanceTransform_.emplace_back();
    transform.instance = instance.id;
    std::copy(instance.transform.begin(), instance.transform.end(), transform.matrix);
    auto& surfaces = surfaceMaterials_.emplace_back();
    for (const SceneId& material : instance.surfaceMaterials) surfaces.push_back({&material, 1});
    instanceMaterials_.push_back({instance.id, SequenceOf(surfaces)});
    AddGroup({{VGS::kPlaceInstance, &placeInstance_.back()},
              {VGS::kSetInstanceTransform, &transform},
              {VGS::kSetInstanceMaterials, &instanceMaterials_.back()}});
  }
  std::erase_if(batches_, [](const auto& batch) { return batch.empty(); });
}

void DrawingOperations::StartSection() {
  if (batches_.empty() || !batches_.back().empty()) batches_.emplace_back();
}

void DrawingOperations::AddGroup(std::initializer_list<VGS::Operation> group) {
  if (!batches_.back().empty() && batches_.back().size() + group.size() > maxBatchOperations_) batches_.emplace_back();
  batches_.back().insert(batches_.back().end(), group);
  operationCount_ += group.size();
}
