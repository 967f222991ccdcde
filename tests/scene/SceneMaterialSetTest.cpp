// Materials as link surfaces: the default material, names and types, colours and textures sent
// at flush.
#include <gtest/gtest.h>

#include "scene/SurfaceTypeFromName.h"
#include "tests/scene/SceneDocumentTest.h"

namespace {

constexpr SceneId kBrick{1, 1}, kPool{2, 1}, kUnknown{99, 99};

VGS::SetMaterialPropertiesData Properties(SceneId id, double red, double green, double blue,
                                          double alpha) {
  VGS::SetMaterialPropertiesData data{};
  data.material = id;
  data.red = red;
  data.green = green;
  data.blue = blue;
  data.alpha = alpha;
  return data;
}

class SceneMaterialSetTest : public SceneDocumentTest {};

TEST_F(SceneMaterialSetTest, AttachCreatesThePendingDefaultMaterial) {
  const MaterialEntry* fallback = materials_.lookup(kUnknown, true);
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->id, kDefaultMaterialId);
  EXPECT_EQ(fallback->colour, 0xFFAAAAAAu);
  EXPECT_EQ(materials_.lookup(kUnknown, false), nullptr);
  EXPECT_TRUE(materials_.hasPending());
  EXPECT_TRUE(materials_.flush());
  EXPECT_FALSE(materials_.flush());
  document_->Commit();
  const auto committed = Committed(u"Default material");
  ASSERT_TRUE(committed);
  EXPECT_EQ(committed->colour, 0xFFAAAAAAu);
  EXPECT_EQ(committed->type, 0u);

  materials_.detach();
  EXPECT_EQ(materials_.lookup(kDefaultMaterialId, true), nullptr);
  EXPECT_FALSE(materials_.hasPending());
}

TEST_F(SceneMaterialSetTest, AddMaterialNamesTheSurfaceOnceAndTypesItFromTheName) {
  materials_.addMaterial({kPool, TXString(u"Pool Water")});
  materials_.addMaterial({kBrick, TXString(u"Default material")});
  materials_.flush();
  materials_.addMaterial({kPool, TXString(u"Glass")});  // known: only marked pending
  EXPECT_TRUE(materials_.hasPending());
  EXPECT_EQ(materials_.lookup(kPool, false)->surface->GetName(), u"Pool Water");
  EXPECT_EQ(materials_.lookup(kPool, false)->surface->GetSurfaceType(), kSurfaceTypeWater);
  EXPECT_EQ(materials_.lookup(kBrick, false)->surface->GetName(), u"Default material(1)");
}

TEST_F(SceneMaterialSetTest, UnknownIdsAreTouchedButNeverGivenProperties) {
  materials_.flush();
  materials_.setMaterialProperties(Properties(kUnknown, 1, 0, 0, 1));
  EXPECT_FALSE(materials_.hasPending());
  EXPECT_EQ(materials_.lookup(kUnknown, false), nullptr);
  materials_.touchMaterial(kUnknown);
  EXPECT_TRUE(materials_.hasPending());
  EXPECT_TRUE(materials_.flush());  // finds no entry, sends nothing
  EXPECT_FALSE(materials_.hasPending());
}

TEST_F(SceneMaterialSetTest, FlushSendsTheLatestColourAndTextureOfEachPendingMaterial) {
  materials_.addMaterial({kBrick, TXString(u"Brick")});
  materials_.setMaterialProperties(Properties(kBrick, 0.0, 0.0, 1.0, 1.0));
  VGS::SetMaterialPropertiesData textured = Properties(kBrick, 1.0, 0.5, 0.0, 1.0);
  const uint8_t rgb[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
  textured.colourImage = {2, 2, 3, VGS::kSampleUnsignedByte, rgb};
  materials_.setMaterialProperties(textured);
  FlushAndCommit();
  auto committed = Committed(u"Brick");
  ASSERT_TRUE(committed);
  EXPECT_EQ(committed->colour, 0xFFFFFFu);  // a textured record shows white under its texture
  ASSERT_EQ(committed->textureBytes, 54u + 16u);
  ASSERT_NE(committed->texture, nullptr);
  // Pixels follow the bitmap header as 32-bit ARGB, little-endian: blue first.
  EXPECT_EQ(U32(committed->texture, 54), 0xFFFF0000u);
  EXPECT_EQ(U32(committed->texture, 54 + 12), 0xFF0A141Eu);

  // The host takes the texture away: the surface must not keep showing the old one.
  materials_.setMaterialProperties(Properties(kBrick, 1.0, 0.5, 0.0, 1.0));
  FlushAndCommit();
  committed = Committed(u"Brick");
  EXPECT_EQ(committed->textureBytes, 0u);
  EXPECT_EQ(committed->colour, 0xFFFF7F00u);
}

}  // namespace
