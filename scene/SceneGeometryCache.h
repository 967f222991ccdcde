#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/TideLinkMesh.h"
#include "platform/Parallel.h"
#include "scene/MeshBuilder.h"
#include "scene/SceneIdTable.h"
#include "scene/SceneMaterialSet.h"
#include "sdk/VGSOperation.h"
#include "transport/TideLinkDocument.h"

// A host geometry in link coordinates: one converted mesh per host mesh record.
struct GeometryEntry {
  bool twoSided = false;
  std::vector<TideLinkMesh> surfaces;
  // Instances placed on this geometry that point at it.
  SceneIdSet users;
};

struct InstanceEntry {
  SceneId geometryId = kNoSceneId;
  // Null while the geometry is unknown; resolved again by id at the next flush.
  GeometryEntry* geometry = nullptr;
  Transform transform = kIdentityTransform;
  bool mirrored = false;
  // Element i is the material of the geometry's surface i.
  std::vector<SceneId> materials;
};

// What the host's scene stream needs to rebuild the link surfaces: converted geometries, placed
// instances and, per material, the instances that draw with it. Operations only record and mark
// materials dirty; flush rebuilds each dirty material's surface from the whole current state, one
// parallel work item per material. Not thread-safe: operations and flush come from one thread at
// a time. Payloads are read only during the call.
class SceneGeometryCache {
public:
  // `materials` outlives the cache; it resolves material ids and gives each material's surface.
  explicit SceneGeometryCache(const SceneMaterialSet& materials);

  // Binds the cache to a document (dropping any earlier one) and takes the repair and optimise
  // choices for geometries that arrive from now on. Without settings geometries are repaired and
  // not optimised.
  void attach(std::shared_ptr<TideLinkDocument> document, const GeometrySettings* settings);
  // Drops the document and everything recorded; the cache is empty between runs.
  void detach();

  bool hasPending() const { return !dirtyMaterials_.empty(); }
  // Rebuilds the surface mesh of every dirty material (cleared when nothing draws with it); false
  // when nothing was dirty. Run after the material set's flush.
  bool flush();

  // Replaces (or creates) a geometry. Marks nothing: its surfaces are rebuilt when one of their
  // materials is next marked.
  void setGeometry(const VGS::SetGeometryData& geometry);
  // Instances on it keep its id and draw nothing until a geometry of that id arrives.
  void removeGeometry(const SceneId& id);
  // Creates the instance, or resets a known one (transform, materials); the geometry may come
  // later.
  void placeInstance(const VGS::PlaceInstanceData& placement);
  void removeInstance(const SceneId& id);
  void setInstanceTransform(const VGS::SetInstanceTransformData& transform);
  // Takes the first material of each non-empty surface entry; unknown materials fall back to the
  // default material. An update without any material is dropped.
  void setInstanceMaterials(const VGS::SetInstanceMaterialsData& materials);

  // One slot per instance: the non-identity transforms in instance order, then empty slots (also
  // for the transforms that hold a number that is not finite).
  std::vector<std::vector<float>> nonIdentityTransforms() const;
  uint64_t instanceCount() const { return instances_.size(); }

private:
  void unlinkMaterials(const SceneId& instanceId, InstanceEntry& instance);
  void markDirty(const std::vector<SceneId>& materials);
  void attachToGeometry(const SceneId& instanceId, InstanceEntry& instance);
  void detachFromGeometry(const SceneId& instanceId, InstanceEntry& instance);
  void resolveGeometries();
  void rebuildMaterial(const SceneId& material) const;

  const SceneMaterialSet& materials_;
  std::shared_ptr<TideLinkDocument> document_;
  SceneIdTable<GeometryEntry> geometries_;
  SceneIdTable<InstanceEntry> instances_;
  // Per material, the instances whose list names it, with their entries (an instance leaves every
  // set before its entry goes), so that a rebuild reaches them without a lookup each.
  using InstanceUsers = SceneIdTable<InstanceEntry*>;
  SceneIdTable<InstanceUsers> materialUsers_;
  SceneIdSet dirtyMaterials_;
  GeometrySettings settings_;
  // What a worker's rebuilds reuse from one material to the next.
  struct RebuildScratch {
    std::vector<MeshGatherRecord> records;
    TideLinkMesh combined;
  };
  mutable platform::PerWorker<RebuildScratch> scratch_;
};
