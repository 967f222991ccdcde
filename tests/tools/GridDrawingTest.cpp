// The generated drawing that stands in for a model file where none can be read.

#include "tools/host/GridDrawing.h"

#include <gtest/gtest.h>

#include <set>

namespace {

size_t TriangleCount(const Drawing& drawing) {
  size_t count = 0;
  for (const DrawingGeometry& geometry : drawing.geometries) {
    for (const DrawingMesh& mesh : geometry.meshes) count += mesh.triangles.size();
  }
  return count;
}

TEST(GridDrawingTest, HoldsTheAskedTrianglesInValidMeshesPlacedApart) {
  const Drawing drawing = MakeGridDrawing(1000000);
  EXPECT_EQ(TriangleCount(drawing), 1000000u);
  ASSERT_EQ(drawing.instances.size(), drawing.geometries.size());
  std::set<std::pair<double, double>> origins;
  for (const DrawingInstance& instance : drawing.instances) {
    const DrawingGeometry* geometry = FindById(drawing.geometries, instance.geometry);
    ASSERT_NE(geometry, nullptr) << instance.name;
    ASSERT_EQ(instance.surfaceMaterials.size(), geometry->meshes.size());
    EXPECT_NE(FindById(drawing.materials, instance.surfaceMaterials[0]), nullptr) << instance.name;
    origins.emplace(instance.transform[12], instance.transform[13]);
    for (const DrawingMesh& mesh : geometry->meshes) {
      ASSERT_EQ(mesh.normals.size(), mesh.positions.size());
      ASSERT_EQ(mesh.uvs.size(), mesh.positions.size());
      for (const VGS::HostTriangle& triangle : mesh.triangles) {
        for (uint32_t corner : {triangle.a, triangle.b, triangle.c}) ASSERT_LT(corner, mesh.positions.size());
      }
    }
  }
  EXPECT_EQ(origins.size(), drawing.instances.size()) << "no two grids lie on each other";
}

TEST(GridDrawingTest, ASmallCountStillGivesEveryGridARow) {
  EXPECT_EQ(TriangleCount(MakeGridDrawing(20000)), 20000u);
  EXPECT_EQ(TriangleCount(MakeGridDrawing(20001)), 20000u);
  EXPECT_EQ(TriangleCount(MakeGridDrawing(39999)), 20000u);
}

}  // namespace
