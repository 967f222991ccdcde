#include "scene/SceneGeometryCache.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/Parallel.h"
#include "scene/HostPayload.h"
#include "scene/SurfaceTypeFromName.h"

namespace {

// The id that can never name a drawn geometry.
constexpr SceneId kZeroSceneId{0, 0};

// A worker keeps its combined mesh for the next material up to this size (about 100 MB), so that
// one huge material does not hold its memory for the rest of the run.
constexpr uint64_t kKeptScratchVertices = 3'000'000;

}  // namespace

SceneGeometryCache::SceneGeometryCache(const SceneMaterialSet& materials) : materials_(materials) {}

void SceneGeometryCache::attach(std::shared_ptr<TideLinkDocument> document,
                                const GeometrySettings* settings) {
  document_ = std::move(document);
  settings_ = settings ? *settings : GeometrySettings{};
}

void SceneGeometryCache::detach() {
  document_.reset();
  // Instances point into the geometries, so they go first.
  instances_.clear();
  geometries_.clear();
  materialUsers_.clear();
  dirtyMaterials_.clear();
}

// --- Change tracking ---------------------------------------------------------------------------

void SceneGeometryCache::markDirty(const std::vector<SceneId>& materials) {
  for (const SceneId& material : materials) dirtyMaterials_.insert(material);
}

void SceneGeometryCache::unlinkMaterials(const SceneId& instanceId, InstanceEntry& instance) {
  for (const SceneId& material : instance.materials) {
    if (InstanceUsers* users = materialUsers_.find(material)) {
      users->erase(instanceId);
      if (users->empty()) materialUsers_.erase(material);
    }
    dirtyMaterials_.insert(material);
  }
  instance.materials.clear();
}

void SceneGeometryCache::attachToGeometry(const SceneId& instanceId, InstanceEntry& instance) {
  GeometryEntry* geometry = geometries_.find(instance.geometryId);
  if (!geometry) return;
  instance.geometry = geometry;
  geometry->users.insert(instanceId);
}

void SceneGeometryCache::detachFromGeometry(const SceneId& instanceId, InstanceEntry& instance) {
  if (instance.geometry) instance.geometry->users.erase(instanceId);
  instance.geometry = nullptr;
}

// --- Operations --------------------------------------------------------------------------------

void SceneGeometryCache::setGeometry(const VGS::SetGeometryData& data) {
  GeometryEntry& geometry = geometries_[data.geometry];
  geometry.surfaces.clear();
  const auto meshes = elementsOf(data.meshes);
  geometry.surfaces.reserve(meshes.size());
  for (const VGS::HostMesh& mesh : meshes) geometry.surfaces.push_back(convertMesh(mesh));
  const bool isSolid = data.isSolid != 0;
  geometry.twoSided = !(isSolid && settings_.repair);
  postProcess(geometry.surfaces, isSolid, settings_);
}

void SceneGeometryCache::removeGeometry(const SceneId& id) {
  GeometryEntry* geometry = geometries_.find(id);
  if (!geometry) return;
  for (const auto& user : geometry->users) {
    if (InstanceEntry* instance = instances_.find(user.id)) {
      instance->geometry = nullptr;
      markDirty(instance->materials);
    }
  }
  geometries_.erase(id);
}

void SceneGeometryCache::placeInstance(const VGS::PlaceInstanceData& placement) {
  auto [instance, created] = instances_.tryEmplace(placement.instance);
  if (!created) unlinkMaterials(placement.instance, instance);
  instance.transform = kIdentityTransform;
  instance.mirrored = false;
  if (instance.geometry && instance.geometryId == placement.geometry) return;
  detachFromGeometry(placement.instance, instance);
  instance.geometryId = placement.geometry;
  attachToGeometry(placement.instance, instance);
}

void SceneGeometryCache::removeInstance(const SceneId& id) {
  InstanceEntry* instance = instances_.find(id);
  if (!instance) return;
  unlinkMaterials(id, *instance);
  detachFromGeometry(id, *instance);
  instances_.erase(id);
}

void SceneGeometryCache::setInstanceTransform(const VGS::SetInstanceTransformData& data) {
  InstanceEntry* instance = instances_.find(data.instance);
  if (!instance) return;
  instance->transform = convertTransform(data.matrix);
  instance->mirrored = mirrored(instance->transform);
  markDirty(instance->materials);
}

void SceneGeometryCache::setInstanceMaterials(const VGS::SetInstanceMaterialsData& data) {
  // Only the first material of a surface draws; a surface without one gives up its position.
  std::vector<SceneId> requested;
  for (const Sequence<SceneId>& surface : elementsOf(data.surfaceMaterials)) {
    const auto candidates = elementsOf(surface);
    if (!candidates.empty()) requested.push_back(candidates.front());
  }
  if (requested.empty()) return;
  InstanceEntry* instance = instances_.find(data.instance);
  if (!instance) return;
  unlinkMaterials(data.instance, *instance);
  for (const SceneId& id : requested) {
    const MaterialEntry* material = materials_.lookup(id, true);
    if (!material) continue;
    instance->materials.push_back(material->id);
    materialUsers_[material->id][data.instance] = instance;
    dirtyMaterials_.insert(material->id);
  }
}

std::vector<std::vector<float>> SceneGeometryCache::nonIdentityTransforms() const {
  std::vector<std::vector<float>> slots(instances_.size());
  size_t next = 0;
  for (const auto& element : instances_) {
    const Transform& transform = element.value.transform;
    // A transform that overflowed (the host's numbers beyond a float's range, or not numbers)
    // places nothing, and its numbers must not reach the file.
    const bool finite = std::all_of(transform.begin(), transform.end(), [](float value) { return std::isfinite(value); });
    if (finite && !isIdentity(transform)) slots[next++].assign(transform.begin(), transform.end());
  }
  return slots;
}

// --- Flush -------------------------------------------------------------------------------------

void SceneGeometryCache::resolveGeometries() {
  // Done before the parallel rebuild, which then only reads the cache.
  for (const auto& dirty : dirtyMaterials_) {
    const InstanceUsers* users = materialUsers_.find(dirty.id);
    if (!users) continue;
    for (const auto& user : *users) {
      if (!user.value->geometry) attachToGeometry(user.id, *user.value);
    }
  }
}

bool SceneGeometryCache::flush() {
  if (dirtyMaterials_.empty()) return false;
  resolveGeometries();
  std::vector<SceneId> work;
  work.reserve(dirtyMaterials_.size());
  for (const auto& dirty : dirtyMaterials_) work.push_back(dirty.id);
  platform::ParallelFor(0, work.size(), 1, [&](size_t begin, size_t end) {
    for (size_t index = begin; index < end; ++index) rebuildMaterial(work[index]);
  });
  dirtyMaterials_.clear();
  return true;
}

void SceneGeometryCache::rebuildMaterial(const SceneId& materialId) const {
  const MaterialEntry* material = materials_.lookup(materialId, false);
  if (!material || !material->surface) return;
  TideLinkSurface& surface = *material->surface;

  // Each worker keeps its gather records and a combined mesh and reuses their storage: the surface
  // takes the combined mesh and hands back the storage of the one it held, in which the worker
  // builds its next material, so a steady flush neither copies the mesh once more nor touches
  // fresh pages. Nothing in a work item makes a parallel call, so a worker never runs a second
  // one inside the first.
  RebuildScratch& scratch = scratch_.Local();
  std::vector<MeshGatherRecord>& records = scratch.records;
  TideLinkMesh& combined = scratch.combined;
  size_t recordCount = 0;

  const bool glass = surface.GetSurfaceType() == kSurfaceTypeGlass;
  uint64_t vertexTotal = 0, indexTotal = 0;
  if (const InstanceUsers* users = materialUsers_.find(materialId)) {
    for (const auto& user : *users) {
      const InstanceEntry& instance = *user.value;
      if (!instance.geometry || instance.geometryId == kZeroSceneId) continue;
      const GeometryEntry& geometry = *instance.geometry;
      if (recordCount == records.size()) records.emplace_back();
      MeshGatherRecord& record = records[recordCount++];
      record.twoSided = geometry.twoSided;
      record.flip = (!settings_.repair && glass) != instance.mirrored;
      record.transform = &instance.transform;
      record.surfaces.clear();
      const uint64_t sides = geometry.twoSided ? 2 : 1;
      for (size_t position = 0; position < instance.materials.size(); ++position) {
        if (instance.materials[position] != materialId) continue;
        if (position >= geometry.surfaces.size()) break;
        const TideLinkMesh& mesh = geometry.surfaces[position];
        record.surfaces.push_back(&mesh);
        vertexTotal += mesh.vertexCount * sides;
        indexTotal += mesh.indexCount * sides;
      }
    }
  }

  if (vertexTotal == 0 || indexTotal == 0) {
    surface.ClearMesh();
    return;
  }
  // Indices into the combined mesh are 32-bit; a larger one could not be carried anyway, and the
  // surface keeps what it showed.
  if (vertexTotal > kMaxCombinedVertices) return;
  // Storage handed back by another surface is not kept when it is mostly wasted on this one.
  if (combined.positions.capacity() / 2 > 3 * vertexTotal) combined = TideLinkMesh{};
  try {
    assembleMesh(std::span(records.data(), recordCount), vertexTotal, indexTotal, combined);
    // Every triangle may have been left out for corners that are not finite.
    if (combined.indexCount == 0) {
      surface.ClearMesh();
    } else {
      surface.TakeMesh(combined);
    }
  } catch (const std::bad_alloc&) {
    // Out of memory for this material only: the others still go through.
  }
  if (combined.positions.capacity() > kKeptScratchVertices * 3) combined = TideLinkMesh{};
}
