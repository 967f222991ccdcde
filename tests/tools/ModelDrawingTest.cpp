// Real files read through Assimp into the host's drawing, and the image decoder behind their
// textures. The models come from Debian's assimp-testmodels; a test whose file is missing is
// skipped.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <utility>

#include "tests/support/TestEnvironment.h"
#include "tools/host/ImageDecoder.h"
#include "tools/host/ModelDrawing.h"

namespace {

const std::filesystem::path kModels = "/usr/share/assimp/models";

#define REQUIRE_MODEL(path)                                                          \
  if (!std::filesystem::exists(path)) GTEST_SKIP() << (path) << " is not installed " \
                                                   "(package assimp-testmodels)"

void ExpectSafeForTheReceiver(const Drawing& drawing) {
  for (const DrawingGeometry& geometry : drawing.geometries) {
    EXPECT_EQ(geometry.isSolid, IsClosedSurface(geometry.meshes));
    for (const DrawingMesh& mesh : geometry.meshes) {
      ASSERT_EQ(mesh.normals.size(), mesh.positions.size());
      ASSERT_TRUE(mesh.uvs.empty() || mesh.uvs.size() == mesh.positions.size());
      EXPECT_FALSE(mesh.triangles.empty());
      for (const VGS::HostTriangle& t : mesh.triangles) {
        ASSERT_TRUE(t.a < mesh.positions.size() && t.b < mesh.positions.size() && t.c < mesh.positions.size());
      }
    }
  }
  for (const DrawingInstance& instance : drawing.instances) {
    const auto geometry = std::find_if(drawing.geometries.begin(), drawing.geometries.end(),
                                       [&](const DrawingGeometry& g) { return g.id == instance.geometry; });
    ASSERT_NE(geometry, drawing.geometries.end());
    EXPECT_EQ(instance.surfaceMaterials.size(), geometry->meshes.size());
  }
  for (const DrawingMaterial& material : drawing.materials) {
    if (!material.colourImage.empty()) {
      EXPECT_EQ(material.colourImage.samples.size(),
                size_t(material.colourImage.width) * material.colourImage.height * material.colourImage.channelCount);
    }
  }
}

// World-space extent of everything placed, in host units.
struct Extent {
  VGS::HostVector3 low{1e300, 1e300, 1e300}, high{-1e300, -1e300, -1e300};
};
Extent WorldExtent(const Drawing& drawing) {
  Extent extent;
  for (const DrawingInstance& instance : drawing.instances) {
    for (const DrawingGeometry& geometry : drawing.geometries) {
      if (!(geometry.id == instance.geometry)) continue;
      for (const DrawingMesh& mesh : geometry.meshes) {
        for (const VGS::HostVector3& position : mesh.positions) {
          const VGS::HostVector3 p = TransformPoint(instance.transform, position);
          extent.low = {std::min(extent.low.x, p.x), std::min(extent.low.y, p.y), std::min(extent.low.z, p.z)};
          extent.high = {std::max(extent.high.x, p.x), std::max(extent.high.y, p.y), std::max(extent.high.z, p.z)};
        }
      }
    }
  }
  return extent;
}

class ModelDrawingTest : public TestEnvironment {
protected:
  std::optional<Drawing> Load(const std::filesystem::path& path, std::optional<UpAxis> upAxis = std::nullopt) {
    error_.clear();
    warnings_.clear();
    return LoadModelDrawing(path.string(), upAxis, error_, warnings_);
  }
  std::filesystem::path Write(const std::string& name, const std::string& text) {
    const auto path = scratch() / name;
    std::ofstream(path) << text;
    return path;
  }

  std::string error_;
  std::vector<std::string> warnings_;
};

TEST_F(ModelDrawingTest, MetresWithYUpBecomeMillimetresWithZUp) {
  const auto path = Write("tall.obj", "v 0 0 0\nv 1 0 0\nv 0 2 0\nv 0 0 3\nf 1 2 3\nf 1 2 4\n");
  const auto drawing = Load(path);
  ASSERT_TRUE(drawing) << error_;
  const Extent extent = WorldExtent(*drawing);
  EXPECT_NEAR(extent.high.x, 1000, 1e-6);
  EXPECT_NEAR(extent.high.z, 2000, 1e-6) << "the file's Y is the host's up";
  EXPECT_NEAR(extent.low.y, -3000, 1e-6) << "the file's Z points towards the viewer, the host's -Y";
  EXPECT_GT(LinearDeterminant(drawing->instances[0].transform), 0) << "a rotation, not a mirror";
  EXPECT_FALSE(drawing->geometries[0].isSolid);
}

// A terrain 50 m long, 40 m wide and 2 m high, as CAD tools write it with Z up.
constexpr char kFlatTerrain[] = "v 0 0 0\nv 50 0 0\nv 50 40 2\nv 0 40 0\nf 1 2 3\nf 1 3 4\n";

TEST_F(ModelDrawingTest, StlAndPlyStandOnZOthersOnYAndTheOptionOverridesBoth) {
  const std::string stl =
      "solid terrain\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 50 0 0\nvertex 50 40 2\nendloop\nendfacet\n"
      "endsolid terrain\n";
  const std::string ply =
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
      "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n50 0 0\n50 40 2\n3 0 1 2\n";
  for (const auto& [name, text] : {std::pair{"terrain.STL", stl}, std::pair{"terrain.ply", ply}}) {
    const auto drawing = Load(Write(name, text));
    ASSERT_TRUE(drawing) << name << ": " << error_;
    const Extent extent = WorldExtent(*drawing);
    EXPECT_NEAR(extent.high.z, 2000, 1e-3) << name << " lies flat";
    EXPECT_NEAR(extent.high.y, 40000, 1e-3) << name;
    EXPECT_GT(LinearDeterminant(drawing->instances[0].transform), 0) << name << " is not mirrored";
    EXPECT_EQ(drawing->axes.rfind("Z up", 0), 0u) << drawing->axes;
  }
  const auto obj = Write("terrain.obj", kFlatTerrain);
  EXPECT_NEAR(WorldExtent(*Load(obj)).high.z, 40000, 1e-3) << "an OBJ is Y up";
  const auto asked = Load(obj, UpAxis::kZ);
  ASSERT_TRUE(asked);
  EXPECT_NEAR(WorldExtent(*asked).high.z, 2000, 1e-3) << "asked for Z up";
  EXPECT_NEAR(WorldExtent(*asked).low.y, 0, 1e-3) << "the file's Y points away from the viewer, as the host's";
  EXPECT_NEAR(WorldExtent(*Load(Write("terrain.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n"
                                      "vertex 50 0 0\nvertex 50 40 2\nendloop\nendfacet\nendsolid t\n"),
                                UpAxis::kY)).high.z,
              40000, 1e-3)
      << "asked for Y up";
}

TEST_F(ModelDrawingTest, UnreadableFilesGiveAnErrorNotADrawing) {
  EXPECT_FALSE(Load(scratch() / "missing.obj"));
  EXPECT_NE(error_.find("missing.obj"), std::string::npos) << error_;
  EXPECT_FALSE(Load(Write("garbage.glb", std::string("glTF\x02\0\0\0garbage", 16))));
  EXPECT_FALSE(error_.empty());
}

TEST_F(ModelDrawingTest, AModelOfPointsAndLinesIsReadAsADrawingWithNothingToDraw) {
  for (const char* text : {"v 0 0 0\nv 1 0 0\np 1\np 2\n", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2 3\n"}) {
    const auto drawing = Load(Write("sparse.obj", text));
    ASSERT_TRUE(drawing) << error_;
    EXPECT_TRUE(drawing->instances.empty());
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_NE(warnings_[0].find("no triangles"), std::string::npos) << warnings_[0];
  }
}

TEST_F(ModelDrawingTest, TexturedGltfFromFileAndEmbedded) {
  for (const char* model : {"glTF2/BoxTextured-glTF/BoxTextured.gltf", "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"}) {
    SCOPED_TRACE(model);
    REQUIRE_MODEL(kModels / model);
    const auto drawing = Load(kModels / model);
    ASSERT_TRUE(drawing) << error_;
    EXPECT_TRUE(warnings_.empty()) << warnings_.front();
    ExpectSafeForTheReceiver(*drawing);
    ASSERT_EQ(drawing->instances.size(), 1u);
    EXPECT_TRUE(drawing->geometries[0].isSolid) << "the box is closed";
    const auto textured = std::find_if(drawing->materials.begin(), drawing->materials.end(),
                                       [](const DrawingMaterial& m) { return !m.colourImage.empty(); });
    ASSERT_NE(textured, drawing->materials.end());
    EXPECT_GT(textured->colourImage.width, 1);
    EXPECT_FALSE(drawing->geometries[0].meshes[0].uvs.empty());
    // A 1 m box.
    const Extent extent = WorldExtent(*drawing);
    EXPECT_NEAR(extent.high.z - extent.low.z, 1000, 1);
  }
}

TEST_F(ModelDrawingTest, ObjWithMaterialsAndJpegTexturesBesideIt) {
  const auto model = kModels / "OBJ/spider.obj";
  REQUIRE_MODEL(model);
  const auto drawing = Load(model);
  ASSERT_TRUE(drawing) << error_;
  ExpectSafeForTheReceiver(*drawing);
  const auto skin = std::find_if(drawing->materials.begin(), drawing->materials.end(),
                                 [](const DrawingMaterial& m) { return m.name == u"Skin"; });
  ASSERT_NE(skin, drawing->materials.end());
  EXPECT_EQ(skin->colourImage.channelCount, 3u) << "the JPEG named with a backslash path";
  EXPECT_GT(skin->colourImage.width, 0);
  EXPECT_GT(drawing->geometries.size(), 1u);
}

TEST_F(ModelDrawingTest, ATexturePathOfAnotherMachineIsLookedUpBesideTheModel) {
  const auto texture = kModels / "OBJ/wal67ar_small.jpg";
  REQUIRE_MODEL(texture);
  std::filesystem::copy_file(texture, scratch() / "bricks.jpg");
  Write("wall.mtl", "newmtl Wall\nKd 1 0.5 0\nd 0.5\nmap_Kd C:\\Users\\someone\\maps\\bricks.jpg\n");
  const auto drawing = Load(Write("wall.obj", "mtllib wall.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                              "usemtl Wall\nf 1/1 2/2 3/3\n"));
  ASSERT_TRUE(drawing) << error_;
  const auto wall = std::find_if(drawing->materials.begin(), drawing->materials.end(),
                                 [](const DrawingMaterial& m) { return m.name == u"Wall"; });
  ASSERT_NE(wall, drawing->materials.end());
  EXPECT_FALSE(wall->colourImage.empty()) << (warnings_.empty() ? "" : warnings_.front());
  EXPECT_DOUBLE_EQ(wall->red, 1.0);
  EXPECT_NEAR(wall->green, 0.5, 1e-6);
  EXPECT_NEAR(wall->alpha, 0.5, 1e-6);
  EXPECT_EQ(drawing->geometries[0].meshes[0].uvs.size(), drawing->geometries[0].meshes[0].positions.size());
}

TEST_F(ModelDrawingTest, ManyMeshesAndNodesBecomeSharedGeometriesAndPlacedInstances) {
  const auto model = kModels / "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";
  REQUIRE_MODEL(model);
  const auto drawing = Load(model);
  ASSERT_TRUE(drawing) << error_;
  ExpectSafeForTheReceiver(*drawing);
  EXPECT_GT(drawing->instances.size(), 20u);
  EXPECT_LT(drawing->geometries.size(), drawing->instances.size()) << "nodes showing the same meshes share a geometry";
  EXPECT_TRUE(std::any_of(drawing->instances.begin(), drawing->instances.end(), [](const DrawingInstance& i) {
    return i.transform != kIdentityTransform;
  }));
  EXPECT_GT(drawing->view.focalDistance, 0);
}

TEST(ImageDecoderTest, DecodesPngAndRejectsDamagedOrUnknownData) {
  const auto path = kModels / "glTF2/BoxTextured-glTF/CesiumLogoFlat.png";
  REQUIRE_MODEL(path);
  std::string error;
  const auto image = DecodeImageFile(path.string(), error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->samples.size(), size_t(image->width) * image->height * image->channelCount);

  std::ifstream file(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // Cut inside the header, the chunks and the pixel data: never a crash, never an image.
  for (size_t length : {size_t(0), size_t(4), size_t(8), size_t(20), size_t(33), bytes.size() / 2}) {
    EXPECT_FALSE(DecodeImage({bytes.data(), length}, error)) << length;
  }
  const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
  EXPECT_FALSE(DecodeImage(gif, error));
  EXPECT_EQ(error, "not a PNG or JPEG image");
  const uint8_t brokenJpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
  EXPECT_FALSE(DecodeImage(brokenJpeg, error));
}

}  // namespace
