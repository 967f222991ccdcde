#pragma once

#include "scene/SceneGeometryCache.h"
#include "scene/SceneMaterialSet.h"
#include "sdk/VGSOperation.h"

// Hands a geometry, instance or material operation (kinds 6 to 14) to the store it belongs to;
// other kinds and records without a payload are ignored. The stores only record and mark.
void ApplySceneOperation(const VGS::Operation& operation, SceneGeometryCache& geometry, SceneMaterialSet& materials);

// Kinds 6 to 14.
inline bool IsStoreOperation(int32_t kind) { return kind >= VGS::kRemoveGeometry && kind <= VGS::kSetMaterialProperties; }
