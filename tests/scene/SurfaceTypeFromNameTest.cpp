// Water and glass guessed from material names.
#include <gtest/gtest.h>

#include <string>

#include "scene/SurfaceTypeFromName.h"

namespace {

TEST(SurfaceTypeFromName, WordsMatchAnywhereWithoutRegardToCase) {
  EXPECT_EQ(surfaceTypeFromName(u"Pool Water"), kSurfaceTypeWater);
  EXPECT_EQ(surfaceTypeFromName(u"WATERFALL"), kSurfaceTypeWater);
  EXPECT_EQ(surfaceTypeFromName(u"Glass-Blue"), kSurfaceTypeGlass);
  EXPECT_EQ(surfaceTypeFromName(u"Plexiglas"), kSurfaceTypeGlass);
  EXPECT_EQ(surfaceTypeFromName(u"Meerwasser"), kSurfaceTypeWater);
  EXPECT_EQ(surfaceTypeFromName(u"窓ガラス"), kSurfaceTypeGlass);
  EXPECT_EQ(surfaceTypeFromName(u"Vitrage"), kSurfaceTypeNone);
  EXPECT_EQ(surfaceTypeFromName(u""), kSurfaceTypeNone);
}

// The process keeps the "C" locale, as a host that never calls setlocale does.
TEST(SurfaceTypeFromName, LettersOfEveryScriptMatchWithoutRegardToCase) {
  EXPECT_EQ(surfaceTypeFromName(u"Стекло"), kSurfaceTypeGlass);
  EXPECT_EQ(surfaceTypeFromName(u"СТЕКЛО матовое"), kSurfaceTypeGlass);
  EXPECT_EQ(surfaceTypeFromName(u"Água"), kSurfaceTypeWater);
  EXPECT_EQ(surfaceTypeFromName(u"ÁGUA DO MAR"), kSurfaceTypeWater);
  EXPECT_EQ(surfaceTypeFromName(u"ВОДА"), kSurfaceTypeWater);
  EXPECT_EQ(surfaceTypeFromName(u"SZKŁO"), kSurfaceTypeGlass);
}

TEST(SurfaceTypeFromName, EveryWordOfEachListIsFoundInsideAName) {
  const std::u16string_view glass[] = {u"GLASS", u"Vidrio", u"VERRE",  u"vetro", u"СТЕКЛО", u"玻璃",
                                       u"Vidro", u"ガラス", u"유리",   u"Garasu", u"GLAS",  u"SZKŁO"};
  const std::u16string_view water[] = {u"WATER", u"Agua", u"WASSER", u"acqua", u"Vatten", u"вОДА",
                                       u"水",    u"ÁGUA", u"물",     u"Mizu",  u"WODA"};
  for (size_t index = 0; index < std::size(glass); ++index) {
    EXPECT_EQ(surfaceTypeFromName(u"x " + std::u16string(glass[index]) + u"-2"), kSurfaceTypeGlass)
        << "glass word " << index;
  }
  for (size_t index = 0; index < std::size(water); ++index) {
    EXPECT_EQ(surfaceTypeFromName(u"x " + std::u16string(water[index]) + u"-2"), kSurfaceTypeWater)
        << "water word " << index;
  }
}

TEST(SurfaceTypeFromName, WaterIsTestedBeforeGlass) {
  EXPECT_EQ(surfaceTypeFromName(u"water glass"), kSurfaceTypeWater);
  EXPECT_EQ(surfaceTypeFromName(u"Glass of agua"), kSurfaceTypeWater);
  EXPECT_TRUE(isGlass(u"water glass"));
}

TEST(SurfaceTypeFromName, EauCountsOnlyAsAWordOfItsOwn) {
  EXPECT_TRUE(isWater(u"eau"));
  EXPECT_TRUE(isWater(u"Eau de Nil"));
  EXPECT_FALSE(isWater(u"plan-d'EAU_"));  // the underscore is a word character
  EXPECT_TRUE(isWater(u"(eau)"));
  EXPECT_TRUE(isWater(u"Bureau eau"));
  EXPECT_FALSE(isWater(u"Bureau"));
  EXPECT_FALSE(isWater(u"Plateau red"));
  EXPECT_FALSE(isWater(u"eau2"));
  EXPECT_FALSE(isWater(u"e a u"));
  // Letters beyond ASCII are word characters too.
  EXPECT_FALSE(isWater(u"Préeau"));
  EXPECT_FALSE(isWater(u"eauß"));
  EXPECT_TRUE(isWater(u"Prés eau"));
}

TEST(SurfaceTypeFromName, LongNamesAreScannedWithoutDeepRecursion) {
  std::u16string name(200000, u'x');
  EXPECT_EQ(surfaceTypeFromName(name), kSurfaceTypeNone);
  name += u" eau";
  EXPECT_TRUE(isWater(name));
}

}  // namespace
