// The built-in sample drawing and the records the stream makes of a drawing.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tools/host/DrawingOperations.h"
#include "tools/host/SampleDrawing.h"

namespace {

const DrawingMaterial* FindMaterial(const Drawing& drawing, std::u16string_view name) {
  for (const DrawingMaterial& material : drawing.materials) {
    if (material.name == name) return &material;
  }
  return nullptr;
}

const DrawingGeometry* FindGeometry(const Drawing& drawing, const SceneId& id) {
  for (const DrawingGeometry& geometry : drawing.geometries) {
    if (geometry.id == id) return &geometry;
  }
  return nullptr;
}

// What every drawing the host sends must satisfy, since the receiver trusts it.
void ExpectWellFormed(const Drawing& drawing) {
  for (const DrawingGeometry& geometry : drawing.geometries) {
    EXPECT_FALSE(geometry.meshes.empty());
    for (const DrawingMesh& mesh : geometry.meshes) {
      EXPECT_EQ(mesh.normals.size(), mesh.positions.size());
      EXPECT_TRUE(mesh.uvs.empty() || mesh.uvs.size() == mesh.positions.size());
      for (const VGS::HostTriangle& triangle : mesh.triangles) {
        ASSERT_LT(triangle.a, mesh.positions.size());
        ASSERT_LT(triangle.b, mesh.positions.size());
        ASSERT_LT(triangle.c, mesh.positions.size());
      }
    }
  }
  for (const DrawingInstance& instance : drawing.instances) {
    const DrawingGeometry* geometry = FindGeometry(drawing, instance.geometry);
    ASSERT_NE(geometry, nullptr) << "an instance of an unknown geometry";
    EXPECT_EQ(instance.surfaceMaterials.size(), geometry->meshes.size());
    for (const SceneId& material : instance.surfaceMaterials) {
      EXPECT_TRUE(std::any_of(drawing.materials.begin(), drawing.materials.end(),
                              [&](const DrawingMaterial& m) { return m.id == material; }));
    }
  }
  for (const DrawingMaterial& material : drawing.materials) {
    for (const DrawingImage* image : {&material.colourImage, &material.opacityImage}) {
      if (image->empty()) continue;
      EXPECT_EQ(image->samples.size(), size_t(image->width) * image->height * image->channelCount);
    }
    EXPECT_TRUE(material.opacityImage.empty() || material.opacityImage.channelCount == 1);
  }
}

TEST(SampleDrawingTest, IsWellFormed) { ExpectWellFormed(MakeSampleDrawing()); }

TEST(SampleDrawingTest, NamesGlassAndWaterMaterialsSoTheReceiverClassifiesThem) {
  const Drawing drawing = MakeSampleDrawing();
  const DrawingMaterial* glass = FindMaterial(drawing, u"Window glass");
  const DrawingMaterial* water = FindMaterial(drawing, u"Pool water");
  ASSERT_NE(glass, nullptr);
  ASSERT_NE(water, nullptr);
  EXPECT_LT(glass->alpha, 1.0);
  EXPECT_GE(drawing.materials.size(), 5u);
}

TEST(SampleDrawingTest, HasAColourImageAndAColourImageWithOpacity) {
  const Drawing drawing = MakeSampleDrawing();
  const auto textured = std::count_if(drawing.materials.begin(), drawing.materials.end(),
                                      [](const DrawingMaterial& m) { return !m.colourImage.empty(); });
  const auto withOpacity = std::find_if(drawing.materials.begin(), drawing.materials.end(),
                                        [](const DrawingMaterial& m) { return !m.opacityImage.empty(); });
  EXPECT_GE(textured, 2);
  ASSERT_NE(withOpacity, drawing.materials.end());
  EXPECT_FALSE(withOpacity->colourImage.empty());
  const auto& opacity = withOpacity->opacityImage.samples;
  EXPECT_TRUE(std::count(opacity.begin(), opacity.end(), 0) > 0 && std::count(opacity.begin(), opacity.end(), 255) > 0)
      << "the opacity image should hold both holes and solid parts";
}

TEST(SampleDrawingTest, HasASolidAnOpenSurfaceSharedGeometryAndAMirroredInstance) {
  const Drawing drawing = MakeSampleDrawing();
  bool solid = false, open = false;
  for (const DrawingGeometry& geometry : drawing.geometries) {
    EXPECT_EQ(geometry.isSolid, IsClosedSurface(geometry.meshes)) << "isSolid must say whether it is closed";
    (geometry.isSolid ? solid : open) = true;
  }
  EXPECT_TRUE(solid);
  EXPECT_TRUE(open);

  std::map<std::pair<uint64_t, uint64_t>, int> uses;
  int mirrored = 0;
  for (const DrawingInstance& instance : drawing.instances) {
    ++uses[{instance.geometry.low, instance.geometry.high}];
    if (LinearDeterminant(instance.transform) < 0) ++mirrored;
  }
  EXPECT_TRUE(std::any_of(uses.begin(), uses.end(), [](const auto& use) { return use.second >= 3; }));
  EXPECT_EQ(mirrored, 1);
}

TEST(ClosedSurfaceTest, JoinsRepeatedPositionsAndRejectsOpenOrBrokenMeshes) {
  DrawingMesh triangle;
  triangle.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  triangle.normals.assign(3, {0, 0, 1});
  triangle.triangles = {{0, 1, 2}};
  EXPECT_FALSE(IsClosedSurface({triangle}));
  EXPECT_FALSE(IsClosedSurface({}));

  // A tetrahedron split over two meshes, every face with its own vertices: closed.
  const VGS::HostVector3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0}, d{0, 0, 1};
  DrawingMesh first, second;
  first.positions = {a, c, b, a, b, d};
  second.positions = {a, d, c, b, c, d};
  first.triangles = second.triangles = {{0, 1, 2}, {3, 4, 5}};
  EXPECT_TRUE(IsClosedSurface({first, second}));
  EXPECT_FALSE(IsClosedSurface({first})) << "half of a closed surface";

  DrawingMesh broken = first;
  broken.triangles.push_back({0, 1, 7});
  EXPECT_FALSE(IsClosedSurface({broken, second})) << "an index past the positions";
}

TEST(DrawingOperationsTest, SendsMaterialsThenGeometriesThenInstancesWithinTheBatchLimit) {
  auto drawing = std::make_shared<const Drawing>(MakeSampleDrawing());
  const DrawingOperations operations(drawing, 4);
  std::vector<int32_t> kinds;
  for (const auto& batch : operations.batches()) {
    EXPECT_FALSE(batch.empty());
    EXPECT_LE(batch.size(), 4u);
    // One instance's three records never straddle two batches.
    const bool instanceBatch = batch.front().kind >= VGS::kPlaceInstance && batch.front().kind <= VGS::kSetInstanceMaterials;
    if (instanceBatch) {
      EXPECT_EQ(batch.size() % 3, 0u);
    }
    for (const VGS::Operation& operation : batch) {
      ASSERT_NE(operation.data, nullptr);
      kinds.push_back(operation.kind);
    }
  }
  EXPECT_EQ(kinds.size(), operations.operationCount());
  EXPECT_EQ(kinds.size(), 2 * drawing->materials.size() + drawing->geometries.size() + 3 * drawing->instances.size());
  EXPECT_TRUE(std::is_sorted(kinds.begin(), kinds.end(), [](int32_t x, int32_t y) {
    const auto section = [](int32_t kind) { return kind >= 12 ? 0 : kind == 7 ? 1 : 2; };
    return section(x) < section(y);
  }));
}

TEST(DrawingOperationsTest, PayloadsCarryTheDrawing) {
  auto drawing = std::make_shared<const Drawing>(MakeSampleDrawing());
  const DrawingOperations operations(drawing);
  size_t geometryIndex = 0, instanceIndex = 0;
  for (const auto& batch : operations.batches()) {
    for (const VGS::Operation& operation : batch) {
      if (operation.kind == VGS::kSetGeometry) {
        const auto& payload = *static_cast<const VGS::SetGeometryData*>(operation.data);
        const DrawingGeometry& geometry = drawing->geometries[geometryIndex++];
        EXPECT_EQ(payload.geometry, geometry.id);
        EXPECT_EQ(payload.isSolid, geometry.isSolid ? 1 : 0);
        ASSERT_EQ(payload.meshes.count, geometry.meshes.size());
        for (size_t mesh = 0; mesh < geometry.meshes.size(); ++mesh) {
          EXPECT_EQ(payload.meshes[mesh].triangles.count, geometry.meshes[mesh].triangles.size());
          EXPECT_EQ(payload.meshes[mesh].normals.count, payload.meshes[mesh].positions.count);
          ASSERT_EQ(payload.meshes[mesh].uvChannels.count, 1u);
          EXPECT_EQ(payload.meshes[mesh].uvChannels[0].count, payload.meshes[mesh].positions.count);
        }
      } else if (operation.kind == VGS::kSetInstanceMaterials) {
        const auto& payload = *static_cast<const VGS::SetInstanceMaterialsData*>(operation.data);
        const DrawingInstance& instance = drawing->instances[instanceIndex++];
        EXPECT_EQ(payload.instance, instance.id);
        ASSERT_EQ(payload.surfaceMaterials.count, instance.surfaceMaterials.size());
        for (size_t surface = 0; surface < instance.surfaceMaterials.size(); ++surface) {
          ASSERT_EQ(payload.surfaceMaterials[surface].count, 1u);
          EXPECT_EQ(payload.surfaceMaterials[surface][0], instance.surfaceMaterials[surface]);
        }
      }
    }
  }
  EXPECT_EQ(geometryIndex, drawing->geometries.size());
  EXPECT_EQ(instanceIndex, drawing->instances.size());
}

}  // namespace
