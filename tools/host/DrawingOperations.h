#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "sdk/VGSOperation.h"
#include "tools/host/Drawing.h"

// One edit of a drawing, named by the ids it touches; the records a host sends for it are built
// by DrawingOperations from the drawing as it is after the edit.
struct DrawingChange {
  std::vector<SceneId> removedInstances;        // kind 9
  std::vector<SceneId> touchedMaterials;        // kind 13
  std::vector<SceneId> changedMaterials;        // kind 14
  std::vector<SceneId> setGeometries;           // kind 7
  std::vector<SceneId> placedInstances;         // kinds 8, 10 and 11
  std::vector<SceneId> movedInstances;          // kind 10
  std::vector<SceneId> rematerialledInstances;  // kind 11
  bool viewReported = false;                    // kind 15, after the batch

  bool empty() const {
    return removedInstances.empty() && touchedMaterials.empty() && changedMaterials.empty() &&
           setGeometries.empty() && placedInstances.empty() && movedInstances.empty() &&
           rematerialledInstances.empty() && !viewReported;
  }
};

// A drawing, or one change of it, as the records of a scene stream, built once and shared by
// every delivery of it. The payloads point into the drawing and into this object, so it is
// neither copied nor moved.
class DrawingOperations {
public:
  static constexpr size_t kMaxBatchOperations = 256;

  // The whole drawing. Materials (kinds 12 and 14) come first, then geometries (7), then
  // instances (8, 10 and 11 of one instance always in the same batch). A batch holds at most
  // `maxBatchOperations` records unless one instance's three need more.
  explicit DrawingOperations(std::shared_ptr<const Drawing> drawing, size_t maxBatchOperations = kMaxBatchOperations);
  // One batch with the records of `change`, in the order of its fields; ids the drawing does not
  // hold (a removed instance excepted) are left out. `drawing` is the state after the change.
  DrawingOperations(std::shared_ptr<const Drawing> drawing, const DrawingChange& change);
  DrawingOperations(const DrawingOperations&) = delete;
  DrawingOperations& operator=(const DrawingOperations&) = delete;

  // The data records of each batch, without the begin and end records.
  const std::vector<std::vector<VGS::Operation>>& batches() const { return batches_; }
  size_t operationCount() const { return operationCount_; }
  // Payload of the view report (kind 15).
  const VGS::CameraReport& view() const { return drawing_->view; }
  // A change that reports the view; a whole drawing leaves that to the stream's settings.
  bool reportsView() const { return reportsView_; }

private:
  void StartSection();
  void AddGroup(std::initializer_list<VGS::Operation> group);
  void AddMaterial(const DrawingMaterial& material);
  const VGS::SetMaterialPropertiesData* MaterialProperties(const DrawingMaterial& material);
  void AddGeometry(const DrawingGeometry& geometry);
  void AddInstance(const DrawingInstance& instance);
  const VGS::SetInstanceTransformData* InstanceTransform(const DrawingInstance& instance);
  const VGS::SetInstanceMaterialsData* InstanceMaterials(const DrawingInstance& instance);
  const SceneId* KeyPayload(const SceneId& id);

  std::shared_ptr<const Drawing> drawing_;
  size_t maxBatchOperations_;
  size_t operationCount_ = 0;
  bool reportsView_ = false;
  std::vector<std::vector<VGS::Operation>> batches_;

  // Deques, so that a record's pointer into them stays valid as more are added.
  std::deque<SceneId> keys_;
  std::deque<VGS::AddMaterialData> addMaterial_;
  std::deque<VGS::SetMaterialPropertiesData> materialProperties_;
  std::deque<std::vector<Sequence<VGS::HostUV>>> uvChannels_;  // per geometry, one per mesh
  std::deque<std::vector<VGS::HostMesh>> hostMeshes_;          // per geometry
  std::deque<VGS::SetGeometryData> setGeometry_;
  std::deque<VGS::PlaceInstanceData> placeInstance_;
  std::deque<VGS::SetInstanceTransformData> instanceTransform_;
  std::deque<std::vector<Sequence<SceneId>>> surfaceMaterials_;  // per instance, one per surface
  std::deque<VGS::SetInstanceMaterialsData> instanceMaterials_;
};
