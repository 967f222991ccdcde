#include <gtest/gtest.h>

#include <cmath>

#include "link/LinkCamera.h"
#include "link/LinkName.h"

namespace {

VGS::CameraReport Report(std::array<double, 3> eye, std::array<double, 3> direction, std::array<double, 3> up,
                         double extent, double focalDistance) {
  VGS::CameraReport report{};
  std::copy(eye.begin(), eye.end(), report.eye);
  std::copy(direction.begin(), direction.end(), report.direction);
  std::copy(up.begin(), up.end(), report.up);
  report.unused = 99;
  report.extent = extent;
  report.focalDistance = focalDistance;
  return report;
}

TEST(LinkCameraTest, RowsAreRightUpDirectionAndEyeInTheRenderersAxisOrder) {
  // Distinct components everywhere, so a swapped axis, a reversed cross product, a normalised
  // vector or a missing scale each change some element.
  const auto camera = CameraFromReport(Report({1000, 2000, 3000}, {1, 2, 0.5}, {0, 0, 3}, 36, 50));
  ASSERT_TRUE(camera);
  const std::array<float, 16> expected{6, 0, -3, 0,  // d × u = (6, -3, 0) as (x, z, y)
                                       0, 3, 0, 0,   //
                                       1, 0.5, 2, 0,  //
                                       1, 3, 2, 1};
  for (size_t index = 0; index < 16; ++index) EXPECT_FLOAT_EQ(camera->matrix[index], expected[index]) << index;
  EXPECT_NEAR(camera->fieldOfView, 39.597752709, 1e-4);
}

TEST(LinkCameraTest, FieldOfViewNeverFallsBelowFiveDegrees) {
  EXPECT_FLOAT_EQ(CameraFromReport(Report({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, 1, 1e6))->fieldOfView, 5.0f);
  // 2·atan(e/2f) of exactly 5°: kept, not raised past it.
  const double extent = 2 * std::tan(2.5 / 57.29577951308232) * 100;
  EXPECT_NEAR(CameraFromReport(Report({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, extent, 100))->fieldOfView, 5.0, 1e-5);
  EXPECT_GT(CameraFromReport(Report({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, extent * 1.01, 100))->fieldOfView, 5.04f);
}

TEST(LinkCameraTest, AViewWithoutFocalDistanceHasNoCameraAndADegenerateOneGivesNothing) {
  const auto none = CameraFromReport(Report({1, 2, 3}, {1, 0, 0}, {0, 0, 1}, 10, 0));
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->HasCamera());
  // A squared length of exactly 1e-6 is too short; one step longer is enough.
  EXPECT_FALSE(CameraFromReport(Report({0, 0, 0}, {0.001, 0, 0}, {0, 0, 1}, 10, 5)));
  EXPECT_FALSE(CameraFromReport(Report({0, 0, 0}, {1, 0, 0}, {0, 0.001, 0}, 10, 5)));
  EXPECT_TRUE(CameraFromReport(Report({0, 0, 0}, {0.0010001, 0, 0}, {0, 0, 1}, 10, 5)));
}

TEST(LinkCameraTest, NumbersNoFloatCanCarryGiveNothing) {
  const double nan = std::nan("");
  EXPECT_FALSE(CameraFromReport(Report({nan, 0, 0}, {1, 0, 0}, {0, 0, 1}, 10, 5)));
  EXPECT_FALSE(CameraFromReport(Report({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, INFINITY, 5)));
  EXPECT_FALSE(CameraFromReport(Report({0, 0, 0}, {1e200, 0, 0}, {0, 0, 1e200}, 10, 5)));
  EXPECT_FALSE(CameraFromReport(Report({0, 0, 0}, {1, 0, 0}, {0, 0, 1}, 10, nan)));
}

// The link name and the export's default file name are one rule.
TEST(LinkNameTest, TheLastDotOfTheFileNameStartsTheExtension) {
  EXPECT_EQ(DaeNameOf(u"/plans/site.phase2.vwx"), u"/plans/site.phase2.dae");
  EXPECT_EQ(DaeNameOf(u"/home/ann/house.vwx"), u"/home/ann/house.dae");
  EXPECT_EQ(DaeNameOf(u"site"), u"site.dae");
  EXPECT_EQ(DaeNameOf(u"Küche.vwx"), u"Küche.dae");
  EXPECT_EQ(DaeNameOf(u""), u"");
  // A dotted folder is part of the path, never the extension of a file name that has none.
  EXPECT_EQ(DaeNameOf(u"/home/ann/my.projects/house"), u"/home/ann/my.projects/house.dae");
  EXPECT_EQ(DaeNameOf(u"/home/ann/my.projects/house.v1.vwx"), u"/home/ann/my.projects/house.v1.dae");
}

}  // namespace
