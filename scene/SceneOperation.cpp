#include "scene/SceneOperation.h"

namespace {

template <class Payload>
const Payload& PayloadOf(const VGS::Operation& operation) {
  return *static_cast<const Payload*>(operation.data);
}

}  // namespace

void ApplySceneOperation(const VGS::Operation& operation, SceneGeometryCache& geometry, SceneMaterialSet& materials) {
  if (!operation.data) return;
  switch (operation.kind) {
    case VGS::kRemoveGeometry:
      geometry.removeGeometry(PayloadOf<SceneId>(operation));
      break;
    case VGS::kSetGeometry:
      geometry.setGeometry(PayloadOf<VGS::SetGeometryData>(operation));
      break;
    case VGS::kPlaceInstance:
      geometry.placeInstance(PayloadOf<VGS::PlaceInstanceData>(operation));
      break;
    case VGS::kRemoveInstance:
      geometry.removeInstance(PayloadOf<SceneId>(operation));
      break;
    case VGS::kSetInstanceTransform:
      geometry.setInstanceTransform(PayloadOf<VGS::SetInstanceTransformData>(operation));
      break;
    case VGS::kSetInstanceMaterials:
      geometry.setInstanceMaterials(PayloadOf<VGS::SetInstanceMaterialsData>(operation));
      break;
    case VGS::kAddMaterial:
      materials.addMaterial(PayloadOf<VGS::AddMaterialData>(operation));
      break;
    case VGS::kTouchMaterial:
      materials.touchMaterial(PayloadOf<SceneId>(operation));
      break;
    case VGS::kSetMaterialProperties:
      materials.setMaterialProperties(PayloadOf<VGS::SetMaterialPropertiesData>(operation));
      break;
    default:
      break;
  }
}
