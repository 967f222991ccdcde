#pragma once

#include <vector>

#include "sdk/VGSOperation.h"

// Host payloads built from owned vectors, so that a test writes a mesh or a material list as data
// and hands over the borrowed views the host would.
struct HostMeshData {
  std::vector<VGS::HostVector3> positions;
  std::vector<VGS::HostVector3> normals;
  std::vector<std::vector<VGS::HostUV>> uvChannels;
  std::vector<VGS::HostTriangle> triangles;

  // Views into this object; valid while it lives and is not changed.
  VGS::HostMesh View() {
    channelViews_.clear();
    for (auto& channel : uvChannels) channelViews_.push_back({channel.data(), channel.size()});
    return {{positions.data(), positions.size()},
            {normals.data(), normals.size()},
            {channelViews_.data(), channelViews_.size()},
            {triangles.data(), triangles.size()}};
  }

private:
  std::vector<Sequence<VGS::HostUV>> channelViews_;
};

// A right triangle in the host's ground plane (z up), normal +z, `size` millimetres a side.
inline HostMeshData GroundTriangle(double size = 1000.0) {
  HostMeshData mesh;
  mesh.positions = {{0, 0, 0}, {size, 0, 0}, {0, size, 0}};
  mesh.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  mesh.uvChannels = {{{0, 0}, {1, 0}, {0, 1}}};
  mesh.triangles = {{0, 1, 2}};
  return mesh;
}

// A SetGeometry payload over several meshes; keeps the views alive.
class HostGeometry {
public:
  HostGeometry(SceneId id, std::vector<HostMeshData> meshes, bool isSolid)
      : id_(id), meshes_(std::move(meshes)), isSolid_(isSolid) {}

  VGS::SetGeometryData Data() {
    views_.clear();
    for (HostMeshData& mesh : meshes_) views_.push_back(mesh.View());
    return {id_, {views_.data(), views_.size()}, static_cast<uint8_t>(isSolid_ ? 1 : 0)};
  }

private:
  SceneId id_;
  std::vector<HostMeshData> meshes_;
  bool isSolid_;
  std::vector<VGS::HostMesh> views_;
};

// A SetInstanceMaterials payload: one list of candidate materials per surface.
class HostMaterialList {
public:
  HostMaterialList(SceneId instance, std::vector<std::vector<SceneId>> surfaces)
      : instance_(instance), surfaces_(std::move(surfaces)) {}

  VGS::SetInstanceMaterialsData Data() {
    views_.clear();
    for (auto& surface : surfaces_) views_.push_back({surface.data(), surface.size()});
    return {instance_, {views_.data(), views_.size()}};
  }

private:
  SceneId instance_;
  std::vector<std::vector<SceneId>> surfaces_;
  std::vector<Sequence<SceneId>> views_;
};

inline VGS::SetInstanceTransformData HostTransform(SceneId instance, std::vector<double> matrix) {
  VGS::SetInstanceTransformData data{instance, {}};
  for (size_t i = 0; i < 16; ++i) data.matrix[i] = matrix[i];
  return data;
}

// The host's identity with a translation in millimetres.
inline VGS::SetInstanceTransformData HostTranslation(SceneId instance, double x, double y,
                                                     double z) {
  return HostTransform(instance, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
}

// The host's identity mirrored across its x = 0 plane.
inline VGS::SetInstanceTransformData HostMirror(SceneId instance) {
  return HostTransform(instance, {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}
