// Geometry, instance and material operations: what each marks dirty, what a flush rebuilds from
// the whole state, and what reaches the committed document.
#include <algorithm>
#include <cmath>
#include <map>

#include <gtest/gtest.h>

#include "platform/Parallel.h"
#include "platform/TextConversion.h"
#include "tests/scene/SceneDocumentTest.h"
#include "tests/scene/SceneTestSupport.h"

namespace {

constexpr SceneId kWall{10, 0}, kSlab{11, 0}, kPane{12, 0};
constexpr SceneId kFirst{20, 0}, kSecond{21, 0}, kThird{22, 0};
constexpr SceneId kBrick{30, 0}, kPlaster{31, 0}, kClear{32, 0}, kLake{33, 0}, kMissing{99, 9};

class SceneGeometryCacheTest : public SceneDocumentTest {
protected:
  void SetUp() override {
    SceneDocumentTest::SetUp();
    materials_.addMaterial({kBrick, TXString(u"Brick")});
    materials_.addMaterial({kPlaster, TXString(u"Plaster")});
    materials_.addMaterial({kClear, TXString(u"Clear glass")});
    materials_.addMaterial({kLake, TXString(u"Lake water")});
    materials_.flush();
  }

  void Reattach(GeometrySettings settings) {
    settings_ = settings;
    geometry_.attach(document_, &settings_);
  }
  void SetGeometry(SceneId id, std::vector<HostMeshData> meshes, bool isSolid) {
    HostGeometry geometry(id, std::move(meshes), isSolid);
    geometry_.setGeometry(geometry.Data());
  }
  void Place(SceneId instance, SceneId geometry) { geometry_.placeInstance({instance, geometry}); }
  void Assign(SceneId instance, std::vector<std::vector<SceneId>> surfaces) {
    HostMaterialList list(instance, std::move(surfaces));
    geometry_.setInstanceMaterials(list.Data());
  }
  // The mesh of a material's surface after the last flush; none when it has no mesh.
  std::optional<TideLinkMesh> MeshOf(SceneId material) {
    TideLinkMesh mesh;
    if (!materials_.lookup(material, false)->surface->GetMesh(mesh)) return std::nullopt;
    return mesh;
  }
  uint64_t TrianglesOf(SceneId material) {
    const auto mesh = MeshOf(material);
    return mesh ? mesh->indexCount / 3 : 0;
  }
};

// --- What each operation marks ------------------------------------------------------------------

TEST_F(SceneGeometryCacheTest, ReplacingAGeometryWaitsForItsInstancesNextChange) {
  SetGeometry(kWall, {GroundTriangle()}, false);
  Place(kFirst, kWall);
  Assign(kFirst, {{kBrick}});
  EXPECT_TRUE(geometry_.flush());
  EXPECT_EQ(TrianglesOf(kBrick), 2u);  // two-sided: front and back

  HostMeshData larger = GroundTriangle();
  larger.triangles.push_back({2, 1, 0});
  SetGeometry(kWall, {larger}, false);
  EXPECT_FALSE(geometry_.hasPending());
  EXPECT_FALSE(geometry_.flush());
  EXPECT_EQ(TrianglesOf(kBrick), 2u);

  geometry_.setInstanceTransform(HostTranslation(kFirst, 0, 0, 0));
  EXPECT_TRUE(geometry_.flush());
  EXPECT_EQ(TrianglesOf(kBrick), 4u);
}

TEST_F(SceneGeometryCacheTest, PlacingAnInstanceAgainResetsItsMaterialsAndTransform) {
  SetGeometry(kWall, {GroundTriangle()}, false);
  Place(kFirst, kWall);
  Assign(kFirst, {{kBrick}});
  geometry_.setInstanceTransform(
      HostTransform(kFirst, {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5000, 0, 0, 1}));
  geometry_.flush();
  EXPECT_EQ(MeshOf(kBrick)->indices, (std::vector<uint32_t>{2, 1, 0, 3, 4, 5}));
  Place(kFirst, kWall);
  EXPECT_TRUE(geometry_.hasPending());
  geometry_.flush();
  EXPECT_FALSE(MeshOf(kBrick));  // cleared, not set empty
  EXPECT_EQ(geometry_.nonIdentityTransforms(), std::vector<std::vector<float>>(1));

  Assign(kFirst, {{kBrick}});
  geometry_.flush();
  EXPECT_FLOAT_EQ(MeshOf(kBrick)->positions[3], 1.0f);  // back at the origin, no longer mirrored
  EXPECT_EQ(MeshOf(kBrick)->indices, (std::vector<uint32_t>{0, 1, 2, 5, 4, 3}));
}

TEST_F(SceneGeometryCacheTest, EmptySurfaceEntriesGiveUpTheirPosition) {
  SetGeometry(kWall, {GroundTriangle(1000), GroundTriangle(2000), GroundTriangle(3000)}, false);
  Place(kFirst, kWall);
  Assign(kFirst, {{kBrick, kLake}, {}, {kPlaster}});
  geometry_.flush();
  // Brick draws surface 0, plaster moves up to surface 1, surface 2 has no material.
  EXPECT_FLOAT_EQ(MeshOf(kBrick)->positions[3], 1.0f);
  EXPECT_FLOAT_EQ(MeshOf(kPlaster)->positions[3], 2.0f);
  EXPECT_EQ(TrianglesOf(kPlaster), 2u);
  EXPECT_FALSE(MeshOf(kLake));

  // Nothing but empty entries: dropped, the previous list stays.
  Assign(kFirst, {{}, {}});
  EXPECT_FALSE(geometry_.hasPending());
  geometry_.setInstanceTransform(HostTranslation(kFirst, 0, 0, 0));
  geometry_.flush();
  EXPECT_EQ(TrianglesOf(kBrick), 2u);
  EXPECT_EQ(TrianglesOf(kPlaster), 2u);

  // Changing the list marks the old materials too, so plaster's surface is emptied.
  Assign(kFirst, {{kBrick}, {kBrick}});
  geometry_.flush();
  EXPECT_EQ(TrianglesOf(kBrick), 4u);
  EXPECT_FALSE(MeshOf(kPlaster));
}

TEST_F(SceneGeometryCacheTest, UnknownMaterialsDrawWithTheDefaultMaterial) {
  SetGeometry(kWall, {GroundTriangle()}, false);
  Place(kFirst, kWall);
  Assign(kFirst, {{kMissing}});
  geometry_.flush();
  EXPECT_EQ(TrianglesOf(kDefaultMaterialId), 2u);
  document_->Commit();
  EXPECT_EQ(Committed(u"Default material")->colour, 0xFFAAAAAAu);
  EXPECT_EQ(Committed(u"Default material")->mesh->indexCount, 6u);
}

TEST_F(SceneGeometryCacheTest, OperationsOnUnknownIdsChangeNothing) {
  geometry_.flush();
  geometry_.removeGeometry(kWall);
  geometry_.removeInstance(kFirst);
  geometry_.setInstanceTransform(HostTranslation(kFirst, 1, 2, 3));
  Assign(kFirst, {{kBrick}});
  EXPECT_FALSE(geometry_.hasPending());
  EXPECT_EQ(geometry_.instanceCount(), 0u);
}

// --- Geometries that come late or go away --------------------------------------------------------

TEST_F(SceneGeometryCacheTest, InstancePlacedBeforeItsGeometryDrawsOnceItArrives) {
  Place(kFirst, kWall);
  Assign(kFirst, {{kBrick}});
  geometry_.flush();
  EXPECT_FALSE(MeshOf(kBrick));
  SetGeometry(kWall, {GroundTriangle()}, false);
  geometry_.setInstanceTransform(HostTranslation(kFirst, 0, 0, 0));
  geometry_.flush();
  EXPECT_EQ(TrianglesOf(kBrick), 2u);
}

TEST_F(SceneGeometryCacheTest, RemovedGeometryEmptiesItsSurfacesUnlessReplacedBeforeTheFlush) {
  SetGeometry(kWall, {GroundTriangle()}, false);
  Place(kFirst, kWall);
  Place(kSecond, kWall);
  Assign(kFirst, {{kBrick}});
  Assign(kSecond, {{kPlaster}});
  geometry_.flush();

  geometry_.removeGeometry(kWall);
  EXPECT_TRUE(geometry_.hasPending());
  HostMeshData larger = GroundTriangle();
  larger.triangles.push_back({2, 1, 0});
  SetGeometry(kWall, {larger}, false);
  geometry_.flush();
  EXPECT_EQ(TrianglesOf(kBrick), 4u);
  EXPECT_EQ(TrianglesOf(kPlaster), 4u);

  geometry_.removeGeometry(kWall);
  geometry_.flush();
  EXPECT_FALSE(MeshOf(kBrick));
  EXPECT_FALSE(MeshOf(kPlaster));
  EXPECT_EQ(geometry_.instanceCount(), 2u);  // the instances stay, waiting for their geometry

  geometry_.removeInstance(kFirst);
  geometry_.removeInstance(kSecond);
  EXPECT_EQ(geometry_.instanceCount(), 0u);
  geometry_.flush();
}

TEST_F(SceneGeometryCacheTest, OnlyTheSurfacesThatCarryTheMaterialAreGathered) {
  SetGeometry(kWall, {GroundTriangle(1000), GroundTriangle(2000)}, false);
  SetGeometry(kSlab, {GroundTriangle(4000)}, false);
  Place(kFirst, kWall);
  Place(kSecond, kWall);
  Place(kThird, kSlab);
  Assign(kFirst, {{kBrick}, {kPlaster}});
  Assign(kSecond, {{kPlaster}, {kBrick}});
  Assign(kThird, {{kPlaster}, {kBrick}});  // the slab has no surface 1: ends the scan
  geometry_.flush();
  const auto brick = MeshOf(kBrick);
  ASSERT_TRUE(brick);
  EXPECT_EQ(brick->vertexCount, 12u);
  EXPECT_FLOAT_EQ(brick->positions[3], 1.0f);
  EXPECT_FLOAT_EQ(brick->positions[6 * 3 + 3], 2.0f);
  EXPECT_EQ(TrianglesOf(kPlaster), 6u);
}

TEST_F(SceneGeometryCacheTest, TheZeroGeometryIdNeverDraws) {
  SetGeometry({0, 0}, {GroundTriangle()}, false);
  Place(kFirst, {0, 0});
  Assign(kFirst, {{kBrick}});
  geometry_.flush();
  EXPECT_FALSE(MeshOf(kBrick));
}

TEST_F(SceneGeometryCacheTest, NonIdentityTransformsComeFirstOneSlotPerInstance) {
  SetGeometry(kWall, {GroundTriangle()}, false);
  Place(kFirst, kWall);
  Place(kSecond, kWall);
  Place(kThird, kWall);
  geometry_.setInstanceTransform(HostTranslation(kSecond, 500, 0, 1000));
  geometry_.setInstanceTransform(HostTranslation(kThird, 0, 0, 0));
  const auto slots = geometry_.nonIdentityTransforms();
  ASSERT_EQ(slots.size(), 3u);
  EXPECT_EQ(slots[0], (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, 1.0f, 0, 1}));
  EXPECT_TRUE(slots[1].empty());
  EXPECT_TRUE(slots[2].empty());

  // Beyond a float's range, or not a number: no slot of its own, so no marker node reads INF.
  geometry_.setInstanceTransform(HostTranslation(kSecond, 1e300, 0, 0));
  geometry_.setInstanceTransform(HostTranslation(kThird, std::nan(""), 0, 0));
  EXPECT_EQ(geometry_.nonIdentityTransforms(), std::vector<std::vector<float>>(3));

  geometry_.detach();
  EXPECT_EQ(geometry_.instanceCount(), 0u);
  EXPECT_FALSE(geometry_.hasPending());
}

// --- Facing ---------------------------------------------------------------------------------------

TEST_F(SceneGeometryCacheTest, GlassAndMirroredInstancesAreWoundTheOtherWay) {
  Reattach({false, false});  // without repair every geometry is two-sided
  SetGeometry(kPane, {GroundTriangle()}, true);
  Place(kFirst, kPane);
  Assign(kFirst, {{kClear}});
  Place(kSecond, kPane);
  Assign(kSecond, {{kBrick}});
  geometry_.flush();
  EXPECT_EQ(MeshOf(kClear)->indices, (std::vector<uint32_t>{2, 1, 0, 3, 4, 5}));
  EXPECT_EQ(MeshOf(kBrick)->indices, (std::vector<uint32_t>{0, 1, 2, 5, 4, 3}));

  geometry_.setInstanceTransform(HostMirror(kSecond));
  geometry_.setInstanceTransform(HostMirror(kFirst));  // mirrored glass: flipped twice
  geometry_.flush();
  EXPECT_EQ(MeshOf(kBrick)->indices, (std::vector<uint32_t>{2, 1, 0, 3, 4, 5}));
  EXPECT_EQ(MeshOf(kClear)->indices, (std::vector<uint32_t>{0, 1, 2, 5, 4, 3}));
  EXPECT_FLOAT_EQ(MeshOf(kBrick)->positions[3], -1.0f);

  // With repair, glass keeps the winding: repaired solids are one-sided, open ones two-sided.
  Reattach({true, false});
  SetGeometry(kPane, {GroundTriangle()}, true);
  geometry_.setInstanceTransform(HostTranslation(kFirst, 0, 0, 0));
  geometry_.flush();
  // A flat solid encloses no volume, so repair turns its triangle; glass turns nothing more.
  EXPECT_EQ(MeshOf(kClear)->indices, (std::vector<uint32_t>{1, 0, 2}));
  EXPECT_EQ(MeshOf(kClear)->vertexCount, 3u);
  SetGeometry(kPane, {GroundTriangle()}, false);
  geometry_.setInstanceTransform(HostTranslation(kFirst, 0, 0, 0));
  geometry_.flush();
  EXPECT_EQ(MeshOf(kClear)->indices, (std::vector<uint32_t>{0, 1, 2, 5, 4, 3}));
}

// --- What a commit rewrites after each operation kind ----------------------------------------------

// The surfaces whose mesh and whose material block one operation makes the next commit rewrite.
struct Rewrite {
  int kind;
  std::vector<std::u16string> meshes;
  std::vector<std::u16string> materials;
};

void PrintTo(const Rewrite& rewrite, std::ostream* out) { *out << "kind " << rewrite.kind; }

class SceneChangeTrackingTest : public SceneGeometryCacheTest,
                                public ::testing::WithParamInterface<Rewrite> {
protected:
  // Brick on the first and lake water on the third instance share the wall; plaster is on the
  // slab; clear glass draws nothing.
  void SetUp() override {
    SceneGeometryCacheTest::SetUp();
    SetGeometry(kWall, {GroundTriangle()}, false);
    SetGeometry(kSlab, {GroundTriangle(2000)}, false);
    Place(kFirst, kWall);
    Assign(kFirst, {{kBrick}});
    Place(kSecond, kSlab);
    Assign(kSecond, {{kPlaster}});
    Place(kThird, kWall);
    Assign(kThird, {{kLake}});
    FlushAndCommit();
  }

  void Apply(int kind) {
    switch (kind) {
      case 6: geometry_.removeGeometry(kWall); break;
      case 7: SetGeometry(kWall, {GroundTriangle(3000)}, false); break;
      case 8: Place(kFirst, kSlab); break;
      case 9: geometry_.removeInstance(kFirst); break;
      case 10: geometry_.setInstanceTransform(HostTranslation(kThird, 0, 0, 1000)); break;
      case 11: Assign(kFirst, {{kPlaster}}); break;
      case 12: materials_.addMaterial({kLake, TXString(u"Lake water")}); break;
      case 13: materials_.touchMaterial(kPlaster); break;
      case 14: {
        VGS::SetMaterialPropertiesData properties{};
        properties.material = kClear;
        properties.red = properties.alpha = 1.0;
        materials_.setMaterialProperties(properties);
        break;
      }
    }
  }
};

TEST_P(SceneChangeTrackingTest, ACommitRewritesExactlyTheSurfacesTheOperationTouched) {
  const std::u16string names[] = {u"Brick", u"Plaster", u"Lake water", u"Clear glass"};
  std::map<std::u16string, CommittedSurface> before;
  for (const auto& name : names) before[name] = *Committed(name);
  const uint32_t headerVersion = U32(base_, 16);
  Apply(GetParam().kind);
  FlushAndCommit();
  const auto listed = [](const std::vector<std::u16string>& list, const std::u16string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
  };
  for (const auto& name : names) {
    const CommittedSurface after = *Committed(name);
    const bool mesh = listed(GetParam().meshes, name), material = listed(GetParam().materials, name);
    EXPECT_EQ(after.meshVersion != before[name].meshVersion, mesh) << platform::Utf8FromUtf16(name);
    EXPECT_EQ(after.materialVersion != before[name].materialVersion, material) << platform::Utf8FromUtf16(name);
    EXPECT_EQ(after.version != before[name].version, mesh || material) << platform::Utf8FromUtf16(name);
  }
  const bool anything = !GetParam().meshes.empty() || !GetParam().materials.empty();
  EXPECT_EQ(U32(base_, 16) != headerVersion, anything);
}

INSTANTIATE_TEST_SUITE_P(
    EachOperationKind, SceneChangeTrackingTest,
    ::testing::Values(Rewrite{6, {u"Brick", u"Lake water"}, {}}, Rewrite{7, {}, {}},
                      Rewrite{8, {u"Brick"}, {}}, Rewrite{9, {u"Brick"}, {}},
                      Rewrite{10, {u"Lake water"}, {}}, Rewrite{11, {u"Brick", u"Plaster"}, {}},
                      Rewrite{12, {}, {u"Lake water"}}, Rewrite{13, {}, {u"Plaster"}},
                      Rewrite{14, {}, {u"Clear glass"}}),
    [](const auto& info) { return "Kind" + std::to_string(info.param.kind); });

// --- Whole path -----------------------------------------------------------------------------------

TEST_F(SceneGeometryCacheTest, BrokenHostTrianglesAreDroppedAllTheWayToTheCommit) {
  for (const GeometrySettings settings : {GeometrySettings{true, true}, GeometrySettings{false, false}}) {
    Reattach(settings);
    HostMeshData broken = GroundTriangle();
    broken.triangles = {{0, 1, 7}, {0, 1, 2}, {3, 0xFFFFFFFF, 1}};
    HostMeshData onlyBroken = GroundTriangle();
    onlyBroken.triangles = {{3, 4, 5}};
    SetGeometry(kWall, {broken, onlyBroken}, true);
    Place(kFirst, kWall);
    Assign(kFirst, {{kBrick}, {kPlaster}});
    FlushAndCommit();
    const auto brick = Committed(u"Brick");
    ASSERT_TRUE(brick && brick->mesh);
    EXPECT_EQ(brick->mesh->indexCount % 3, 0u);
    EXPECT_EQ(brick->mesh->indexCount, settings.repair ? 3u : 6u);
    for (uint32_t index : brick->mesh->indices) EXPECT_LT(index, brick->mesh->vertexCount);
    EXPECT_FALSE(Committed(u"Plaster")->mesh);  // nothing left to draw
  }
}

// A small drawing through both stores into the document, read back as the renderer reads it.
TEST_F(SceneGeometryCacheTest, SmallDrawingReachesTheCommittedSurfaces) {
  SetGeometry(kWall, {GroundTriangle(1000), GroundTriangle(2000)}, true);   // solid: one-sided
  SetGeometry(kSlab, {GroundTriangle(3000)}, false);                        // two-sided
  SetGeometry(kPane, {GroundTriangle(500)}, false);
  Place(kFirst, kWall);
  Assign(kFirst, {{kBrick}, {kLake}});
  geometry_.setInstanceTransform(HostTranslation(kFirst, 0, 0, 2000));
  Place(kSecond, kWall);
  Assign(kSecond, {{kBrick}, {kBrick}});
  geometry_.setInstanceTransform(HostMirror(kSecond));
  Place(kThird, kSlab);
  Assign(kThird, {{kPlaster}});
  const SceneId paneInstance{23, 0};
  Place(paneInstance, kPane);
  Assign(paneInstance, {{kClear}});

  VGS::SetMaterialPropertiesData textured{};
  textured.material = kPlaster;
  textured.red = textured.green = textured.blue = textured.alpha = 1.0;
  const uint8_t grey[4] = {0, 64, 128, 255};
  textured.colourImage = {2, 2, 1, VGS::kSampleUnsignedByte, grey};
  materials_.setMaterialProperties(textured);
  FlushAndCommit();

  const auto brick = Committed(u"Brick");
  ASSERT_TRUE(brick && brick->mesh);
  // First instance: surface 0 only; mirrored second instance: surfaces 0 and 1, one-sided each.
  EXPECT_EQ(brick->mesh->indexCount, 9u);
  EXPECT_FLOAT_EQ(brick->mesh->positions[1], 2.0f);  // host z 2000 mm: the link's second axis
  for (uint32_t index : brick->mesh->indices) EXPECT_LT(index, brick->mesh->vertexCount);

  const auto lake = Committed(u"Lake water");
  ASSERT_TRUE(lake && lake->mesh);
  EXPECT_EQ(lake->type, 1u);
  EXPECT_EQ(lake->mesh->indexCount, 3u);
  EXPECT_FLOAT_EQ(lake->mesh->positions[3], 2.0f);

  const auto plaster = Committed(u"Plaster");
  ASSERT_TRUE(plaster && plaster->mesh);
  EXPECT_EQ(plaster->mesh->indexCount, 6u);
  EXPECT_EQ(plaster->mesh->indices, (std::vector<uint32_t>{0, 1, 2, 5, 4, 3}));
  EXPECT_EQ(plaster->colour, 0xFFFFFFu);
  ASSERT_EQ(plaster->textureBytes, 54u + 16u);
  EXPECT_EQ(U32(plaster->texture, 54 + 4), 0xFF404040u);

  const auto glass = Committed(u"Clear glass");
  ASSERT_TRUE(glass && glass->mesh);
  EXPECT_EQ(glass->type, 2u);
  EXPECT_EQ(glass->mesh->vertexCount, 6u);

  EXPECT_FALSE(Committed(u"Default material")->mesh);
}

// The same drawing flushed on one worker and on all of them gives the same bytes.
TEST_F(SceneGeometryCacheTest, FlushOnOneWorkerGivesTheSameSurfaces) {
  std::vector<SceneId> materialIds;
  for (uint64_t m = 0; m < 24; ++m) {
    const SceneId id{100 + m, 1};
    materials_.addMaterial({id, TXString(m % 5 == 0 ? u"glass" : u"paint")});
    materialIds.push_back(id);
  }
  materials_.flush();
  for (uint64_t g = 0; g < 6; ++g) {
    std::vector<HostMeshData> meshes;
    for (uint64_t s = 0; s < 3; ++s) meshes.push_back(GroundTriangle(1000.0 * (g + s + 1)));
    SetGeometry({200 + g, 0}, std::move(meshes), g % 2 == 0);
  }
  const auto placeAll = [&] {
    for (uint64_t i = 0; i < 60; ++i) {
      const SceneId instance{300 + i, 0};
      Place(instance, {200 + i % 6, 0});
      Assign(instance, {{materialIds[i % 24]}, {materialIds[(i * 7) % 24]}, {materialIds[(i + 3) % 24]}});
      if (i % 4 == 0) {
        geometry_.setInstanceTransform(HostMirror(instance));
      } else {
        geometry_.setInstanceTransform(HostTranslation(instance, 100.0 * i, -50.0 * i, 7.0 * i));
      }
    }
  };
  const auto meshes = [&] {
    std::vector<TideLinkMesh> result;
    for (const SceneId& id : materialIds) result.push_back(MeshOf(id).value_or(TideLinkMesh{}));
    return result;
  };

  placeAll();
  geometry_.flush();
  const std::vector<TideLinkMesh> parallel = meshes();
  for (const SceneId& id : materialIds) materials_.lookup(id, false)->surface->ClearMesh();
  {
    const platform::WorkerLimit one(1);
    placeAll();
    geometry_.flush();
  }
  const std::vector<TideLinkMesh> serial = meshes();
  for (size_t m = 0; m < materialIds.size(); ++m) {
    EXPECT_GT(parallel[m].indexCount, 0u);
    EXPECT_EQ(serial[m].indices, parallel[m].indices) << m;
    EXPECT_EQ(serial[m].positions, parallel[m].positions) << m;
    EXPECT_EQ(serial[m].normals, parallel[m].normals) << m;
    EXPECT_EQ(serial[m].uvs, parallel[m].uvs) << m;
  }
}

}  // namespace
