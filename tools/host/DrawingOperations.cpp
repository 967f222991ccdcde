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
  StartSection();
  for (const DrawingMaterial& material : source.materials) AddMaterial(material);
  StartSection();
  for (const DrawingGeometry& geometry : source.geometries) AddGeometry(geometry);
  StartSection();
  for (const DrawingInstance& instance : source.instances) AddInstance(instance);
  std::erase_if(batches_, [](const auto& batch) { return batch.empty(); });
}

DrawingOperations::DrawingOperations(std::shared_ptr<const Drawing> drawing, const DrawingChange& change)
    : drawing_(std::move(drawing)), maxBatchOperations_(SIZE_MAX), reportsView_(change.viewReported) {
  const Drawing& source = *drawing_;
  StartSection();
  for (const SceneId& id : change.removedInstances) AddGroup({{VGS::kRemoveInstance, KeyPayload(id)}});
  for (const SceneId& id : change.touchedMaterials) AddGroup({{VGS::kTouchMaterial, KeyPayload(id)}});
  for (const SceneId& id : change.changedMaterials) {
    if (const DrawingMaterial* material = FindById(source.materials, id)) {
      AddGroup({{VGS::kSetMaterialProperties, MaterialProperties(*material)}});
    }
  }
  for (const SceneId& id : change.setGeometries) {
    if (const DrawingGeometry* geometry = FindById(source.geometries, id)) AddGeometry(*geometry);
  }
  for (const SceneId& id : change.placedInstances) {
    if (const DrawingInstance* instance = FindById(source.instances, id)) AddInstance(*instance);
  }
  for (const SceneId& id : change.movedInstances) {
    if (const DrawingInstance* instance = FindById(source.instances, id)) {
      AddGroup({{VGS::kSetInstanceTransform, InstanceTransform(*instance)}});
    }
  }
  for (const SceneId& id : change.rematerialledInstances) {
    if (const DrawingInstance* instance = FindById(source.instances, id)) {
      AddGroup({{VGS::kSetInstanceMaterials, InstanceMaterials(*instance)}});
    }
  }
  std::erase_if(batches_, [](const auto& batch) { return batch.empty(); });
}

void DrawingOperations::AddMaterial(const DrawingMaterial& material) {
  addMaterial_.push_back({material.id, TXString(material.name)});
  AddGroup({{VGS::kAddMaterial, &addMaterial_.back()}, {VGS::kSetMaterialProperties, MaterialProperties(material)}});
}

const VGS::SetMaterialPropertiesData* DrawingOperations::MaterialProperties(const DrawingMaterial& material) {
  VGS::SetMaterialPropertiesData& properties = materialProperties_.emplace_back();
  properties.material = material.id;
  properties.red = material.red;
  properties.green = material.green;
  properties.blue = material.blue;
  properties.alpha = material.alpha;
  properties.colourImage = HostImage(material.colourImage);
  properties.opacityImage = HostImage(material.opacityImage);
  return &properties;
}

void DrawingOperations::AddGeometry(const DrawingGeometry& geometry) {
  auto& channels = uvChannels_.emplace_back();
  // Sized before the meshes point into it.
  channels.reserve(geometry.meshes.size());
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

void DrawingOperations::AddInstance(const DrawingInstance& instance) {
  placeInstance_.push_back({instance.id, instance.geometry});
  AddGroup({{VGS::kPlaceInstance, &placeInstance_.back()},
            {VGS::kSetInstanceTransform, InstanceTransform(instance)},
            {VGS::kSetInstanceMaterials, InstanceMaterials(instance)}});
}

const VGS::SetInstanceTransformData* DrawingOperations::InstanceTransform(const DrawingInstance& instance) {
  VGS::SetInstanceTransformData& transform = instanceTransform_.emplace_back();
  transform.instance = instance.id;
  std::copy(instance.transform.begin(), instance.transform.end(), transform.matrix);
  return &transform;
}

const VGS::SetInstanceMaterialsData* DrawingOperations::InstanceMaterials(const DrawingInstance& instance) {
  auto& surfaces = surfaceMaterials_.emplace_back();
  for (const SceneId& material : instance.surfaceMaterials) surfaces.push_back({&material, 1});
  instanceMaterials_.push_back({instance.id, SequenceOf(surfaces)});
  return &instanceMaterials_.back();
}

const SceneId* DrawingOperations::KeyPayload(const SceneId& id) { return &keys_.emplace_back(id); }

void DrawingOperations::StartSection() {
  if (batches_.empty() || !batches_.back().empty()) batches_.emplace_back();
}

void DrawingOperations::AddGroup(std::initializer_list<VGS::Operation> group) {
  if (!batches_.back().empty() && batches_.back().size() + group.size() > maxBatchOperations_) batches_.emplace_back();
  batches_.back().insert(batches_.back().end(), group);
  operationCount_ += group.size();
}
