#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "sdk/VGSOperation.h"
#include "tools/host/Drawing.h"

// A drawing as the records of a scene stream, built once and shared by every delivery of it. The
// payloads point into the drawing and into this object, so it is neither copied nor moved.
class DrawingOperations {
public:
  static constexpr size_t kMaxBatchOperations = 256;

  // Materials (kinds 12 and 14) come first, then geometries (7), then instances (8, 10 and 11 of
  // one instance always in the same batch). A batch holds at most `maxBatchOperations` records
  // unless one instance's three need more.
  explicit DrawingOperations(std::shared_ptr<const Drawing> drawing, size_t maxBatchOperations = kMaxBatchOperations);
  DrawingOperations(const DrawingOperations&) = delete;
  DrawingOperations& operator=(const DrawingOperations&) = delete;

  // The data records of each batch, without the begin and end records.
  const std::vector<std::vector<VGS::Operation>>& batches() const { return batches_; }
  size_t operationCount() const { return operationCount_; }
  // Payload of the view report (kind 15).
  const VGS::CameraReport& view() const { return drawing_->view; }

private:
  void StartSection();
  void AddGroup(std::initializer_list<VGS::Operation> group);

  std::shared_ptr<const Drawing> drawing_;
  size_t maxBatchOperations_;
  size_t operationCount_ = 0;
  std::vector<std::vector<VGS::Operation>> batches_;

  std::vector<VGS::AddMaterialData> addMaterial_;
  std::vector<VGS::SetMaterialPropertiesData> materialProperties_;
  std::vector<std::vector<Sequence<VGS::HostUV>>> uvChannels_;  // per geometry, one per mesh
  std::vector<std::vector<VGS::HostMesh>> hostMeshes_;          // per geometry
  std::vector<VGS::SetGeometryData> setGeometry_;
  std::vector<VGS::PlaceInstanceData> placeInstance_;
  std::vector<VGS::SetInstanceTransformData> instanceTransform_;
  std::vector<std::vector<Sequence<SceneId>>> surfaceMaterials_;  // per instance, one per surface
  std::vector<VGS::SetInstanceMaterialsData> instanceMaterials_;
};
