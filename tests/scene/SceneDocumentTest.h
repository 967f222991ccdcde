#pragma once

#include <optional>

#include "scene/SceneGeometryCache.h"
#include "scene/SceneMaterialSet.h"
#include "tests/transport/TransportTestSupport.h"

// Both scene stores attached to a real link document, read back after a commit through the bytes
// the renderer maps, as the renderer would: surface records found by name, meshes from segments.
class SceneDocumentTest : public TransportTest {
protected:
  // What one committed surface record says.
  struct CommittedSurface {
    uint32_t version = 0;
    uint32_t materialVersion = 0;
    uint32_t meshVersion = 0;
    uint32_t type = 0;
    uint32_t colour = 0;
    uint32_t textureBytes = 0;
    const uint8_t* texture = nullptr;
    std::optional<TideLinkMesh> mesh;
  };

  void SetUp() override {
    TransportTest::SetUp();
    document_ = Open();
    base_ = MapAsReader(DocumentName());
    materials_.attach(document_);
    geometry_.attach(document_, &settings_);
  }
  void TearDown() override {
    geometry_.detach();
    materials_.detach();
    document_.reset();
    TransportTest::TearDown();
  }

  // The owner's order: materials, then geometry, then the commit.
  void FlushAndCommit() {
    materials_.flush();
    geometry_.flush();
    document_->Commit();
  }

  std::optional<CommittedSurface> Committed(const std::u16string& name) {
    constexpr size_t kBlocks = 64, kVersion = 16, kMaterialVersion = 20, kMeshVersion = 1920,
                     kType = 544, kColour = 804, kTextureSegment = 856 + 524,
                     kTextureSize = 856 + 528, kMeshSegment = 1924;
    for (size_t index = 0; index < kBlocks; ++index) {
      const uint8_t* record = base_ + 2048 + 2048 * index;
      if (Tag(record, 0) != "SRFC" || Text(record, 24, 260) != name) continue;
      CommittedSurface surface;
      surface.version = U32(record, kVersion);
      surface.materialVersion = U32(record, kMaterialVersion);
      surface.meshVersion = U32(record, kMeshVersion);
      surface.type = U32(record, kType);
      surface.colour = U32(record, kColour);
      surface.textureBytes = U32(record, kTextureSize);
      if (const uint32_t segment = U32(record, kTextureSegment)) {
        surface.texture = MapSegmentAsReader(segment);
      }
      if (const uint32_t segment = U32(record, kMeshSegment)) {
        surface.mesh = ReadMesh(MapSegmentAsReader(segment));
      }
      return surface;
    }
    return std::nullopt;
  }

  static TideLinkMesh ReadMesh(const uint8_t* segment) {
    const uint32_t vertices = U32(segment, 0), indices = U32(segment, 4), sets = U32(segment, 8);
    TideLinkMesh mesh = TideLinkMesh::Create(vertices, indices, sets);
    size_t offset = 12;
    const auto read = [&](void* target, size_t bytes) {
      std::memcpy(target, segment + offset, bytes);
      offset += bytes;
    };
    read(mesh.positions.data(), 4 * mesh.positions.size());
    read(mesh.normals.data(), 4 * mesh.normals.size());
    read(mesh.uvs.data(), 4 * mesh.uvs.size());
    read(mesh.indices.data(), 4 * mesh.indices.size());
    return mesh;
  }

  GeometrySettings settings_;
  SceneMaterialSet materials_;
  SceneGeometryCache geometry_{materials_};
  std::shared_ptr<TideLinkDocumentImpl> document_;
  const uint8_t* base_ = nullptr;
};
