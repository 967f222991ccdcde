#include <gtest/gtest.h>

#include <climits>

#include "ui/DisplayMetrics.h"

namespace {

using ui::DisplayMetrics;
using ui::MulDiv;
using ui::Rect;
using ui::Size;

TEST(MulDivTest, RoundsHalvesAwayFromZeroWithAWideIntermediate) {
  EXPECT_EQ(MulDiv(26, 72, 96), 20);    // 19.5
  EXPECT_EQ(MulDiv(-26, 72, 96), -20);  // -19.5
  EXPECT_EQ(MulDiv(26, 72, -96), -20);
  EXPECT_EQ(MulDiv(17, 72, 96), 13);  // 12.75
  EXPECT_EQ(MulDiv(100, 100, 3), 3333);
  EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX) << "the product must not overflow on the way";
}

TEST(MulDivTest, AZeroDenominatorOrAnOutOfRangeResultGivesMinusOne) {
  EXPECT_EQ(MulDiv(5, 5, 0), -1);
  EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
  EXPECT_EQ(MulDiv(INT_MIN, 1, 1), -1);
}

TEST(DisplayMetricsTest, AboutPictureIsDesignedFor96DpiAndFullSizeAt384) {
  EXPECT_EQ(ui::AboutPictureSize({96, 8, 16, 16}), (Size{110, 140}));
  EXPECT_EQ(ui::AboutPictureSize({384, 8, 16, 16}), (Size{440, 560}));
  EXPECT_EQ(ui::AboutPictureSize({120, 8, 16, 16}), (Size{138, 175}));  // 137.5 rounds up
}

TEST(DisplayMetricsTest, FontsAreRequestedByNegativeCharacterHeight) {
  EXPECT_EQ(ui::FontHeight(12, {96, 8, 16, 16}), -12);
  EXPECT_EQ(ui::FontHeight(10, {144, 8, 16, 16}), -15);
}

TEST(DisplayMetricsTest, ProgressBarRectangleTakesItsHeightFromTheHorizontalBaseUnit) {
  // Base units 6 × 13 tell the two apart: with the vertical unit the height would be 21.
  const DisplayMetrics metrics{96, 6, 13, 16};
  const Rect bar = ui::ProgressBarRectangle(metrics);
  EXPECT_EQ(bar.left, MulDiv(MulDiv(13, 6, 4), 72, 96));
  EXPECT_EQ(bar.top, MulDiv(MulDiv(40, 13, 8), 72, 96));
  EXPECT_EQ(bar.width, MulDiv(MulDiv(193, 6, 4), 72, 96));
  EXPECT_EQ(bar.height, 10);
  EXPECT_EQ(ui::ProgressBarRectangle({96, 8, 16, 16}), (Rect{20, 60, 290, 13}));
}

TEST(DisplayMetricsTest, CentringKeepsTheSizeAndTruncatesHalves) {
  EXPECT_EQ(ui::CentreOver({100, 50, 801, 600}, {0, 0, 300, 201}), (Rect{350, 249, 300, 201}));
  // A window wider than its owner overhangs it on both sides.
  EXPECT_EQ(ui::CentreOver({0, 0, 100, 100}, {5, 5, 301, 100}), (Rect{-100, 0, 301, 100}));
}

}  // namespace
