#include <gtest/gtest.h>

#include "tools/host/DrawingEditor.h"
#include "tools/host/DrawingSummary.h"
#include "tools/host/EditScript.h"
#include "tools/host/SampleDrawing.h"

namespace {

class DrawingEditorTest : public ::testing::Test {
protected:
  // Applies one script line; false when the editor refused it.
  bool Edit(const std::string& line) {
    std::string error;
    const auto steps = ParseEditScript(line, error);
    EXPECT_TRUE(steps && steps->size() == 1) << error;
    change_ = {};
    problem_.clear();
    return editor_.Apply(steps->front(), change_, problem_);
  }
  const DrawingInstance& Instance(const std::string& name) {
    for (const DrawingInstance& instance : editor_.drawing()->instances) {
      if (instance.name == name) return instance;
    }
    ADD_FAILURE() << "no instance " << name;
    return editor_.drawing()->instances.front();
  }
  static VGS::HostVector3 Apply(const DrawingInstance& instance, VGS::HostVector3 point) {
    return TransformPoint(instance.transform, point);
  }

  DrawingEditor editor_{std::make_shared<const Drawing>(MakeSampleDrawing())};
  DrawingChange change_;
  std::string problem_;
};

TEST_F(DrawingEditorTest, RotateAndMirrorTurnAnInstanceAboutItsOwnOriginAndMoveAddsToItsPlace) {
  const DrawingInstance before = Instance("plinth");  // 1000 × 1000 × 500 at (3000, 3000, 0)
  ASSERT_TRUE(Edit("rotate plinth 90"));
  const VGS::HostVector3 corner = Apply(Instance("plinth"), {1000, 0, 0});
  EXPECT_NEAR(corner.x, 3000, 1e-9);  // +X of the box now points along +Y
  EXPECT_NEAR(corner.y, 4000, 1e-9);
  EXPECT_EQ(change_.movedInstances, std::vector<SceneId>{before.id});

  ASSERT_TRUE(Edit("mirror ramp"));
  EXPECT_LT(LinearDeterminant(Instance("ramp").transform), 0);
  EXPECT_NEAR(Apply(Instance("ramp"), {0, 0, 0}).x, 6000, 1e-9);

  ASSERT_TRUE(Edit("move plinth 10 20 30"));
  const VGS::HostVector3 origin = Apply(Instance("plinth"), {0, 0, 0});
  EXPECT_NEAR(origin.x, 3010, 1e-9);
  EXPECT_NEAR(origin.y, 3020, 1e-9);
  EXPECT_NEAR(origin.z, 30, 1e-9);
}

TEST_F(DrawingEditorTest, UnknownNamesLeaveTheDrawingAsItWas) {
  const auto before = editor_.drawing();
  EXPECT_FALSE(Edit("move shed 1 2 3"));
  EXPECT_EQ(problem_, "no instance \"shed\"");
  EXPECT_FALSE(Edit("materials post Concrete Marble"));
  EXPECT_EQ(problem_, "no material \"Marble\"");
  EXPECT_FALSE(Edit("add plinth box 0 0 0 Concrete"));
  EXPECT_EQ(editor_.drawing(), before);
}

TEST_F(DrawingEditorTest, AnAddedInstanceNeverTakesTheIdOfARemovedOne) {
  const SceneId removed = Instance("mirrored-ramp").id;
  ASSERT_TRUE(Edit("remove mirrored-ramp"));
  EXPECT_EQ(change_.removedInstances, std::vector<SceneId>{removed});
  ASSERT_TRUE(Edit("add shed box 0 0 0 Concrete Concrete"));
  ASSERT_EQ(change_.placedInstances.size(), 1u);
  EXPECT_NE(change_.placedInstances[0], removed);
  EXPECT_EQ(Instance("shed").id, change_.placedInstances[0]);
}

// The cache rebuilds nothing for a new geometry alone; the instances on it must be reported again.
TEST_F(DrawingEditorTest, AReplacedGeometryIsSentWithTheTransformOfEveryInstanceOnIt) {
  const SceneId box = editor_.drawing()->geometries[0].id;
  ASSERT_TRUE(Edit("replace box wedge"));
  EXPECT_EQ(change_.setGeometries, std::vector<SceneId>{box});
  EXPECT_EQ(change_.movedInstances, (std::vector<SceneId>{Instance("house").id, Instance("plinth").id, Instance("post").id}));
  EXPECT_EQ(editor_.drawing()->geometries[0].meshes.size(), 1u);
}

TEST_F(DrawingEditorTest, TheSummaryCountsEachSurfaceWithItsMaterialAndBoundsItsPlacedPositions) {
  ASSERT_TRUE(Edit("materials post Concrete \"Brick wall\""));
  const nlohmann::json summary = SummariseDrawing(*editor_.drawing());
  const auto entry = [&](const std::string& name) {
    for (const nlohmann::json& material : summary) {
      if (material["name"] == name) return material;
    }
    return nlohmann::json();
  };
  // The post's sides (8 triangles) join the plinth's 12 and the mirrored ramp's 8 on Concrete; its
  // caps (4) join the house's sides (8) on the bricks.
  EXPECT_EQ(entry("Concrete")["solidTriangles"], 8 + 12 + 8);
  EXPECT_EQ(entry("Brick wall")["solidTriangles"], 8 + 4);
  EXPECT_EQ(entry("Window glass")["openTriangles"], 4);
  EXPECT_EQ(entry("Painted steel")["solidTriangles"], 8);  // only the ramp is steel now
  // The lawn: 20 m square from (−10000, −10000) at height 0.
  EXPECT_EQ(entry("Lawn")["min"], (nlohmann::json{-10000.0, -10000.0, 0.0}));
  EXPECT_EQ(entry("Lawn")["max"], (nlohmann::json{10000.0, 10000.0, 0.0}));
  EXPECT_EQ(summary.back()["known"], false);
  EXPECT_TRUE(summary.back()["min"].is_null());
}

}  // namespace
