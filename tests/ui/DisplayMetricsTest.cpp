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
  EXPECT_EQ(ui::FontHeight(10, {120, 8, 16, 16}), -13);  // 12.5 rounds away from zero
}

TEST(DisplayMetricsTest, DialogUnitsUseTheHorizontalUnitAcrossAndTheVerticalOneDown) {
  EXPECT_EQ(ui::DialogUnitsToPixels(10, 12, {96, 6, 13, 16}), (Size{15, 20}));  // 19.5 rounds up
  EXPECT_EQ(ui::DialogUnitsToPixels(7, 3, {96, 8, 16, 16}), (Size{14, 6}));
}

TEST(DisplayMetricsTest, ProgressBarRectangleTakesItsHeightFromTheHorizontalBaseUnit) {
  // Base units 6 × 13 tell the two apart: with the vertical unit the height would be 21. Each
  // step rounds halves away from zero: 13 · 6 / 4 = 19.5 → 20, then 20 · 72 / 96 = 15; 40 · 13 / 8
  // = 65 → 48.75 → 49; 193 · 6 / 4 = 289.5 → 290 → 217.5 → 218; 17 · 6 / 8 = 12.75 → 13 → 9.75 → 10.
  EXPECT_EQ(ui::ProgressBarRectangle({96, 6, 13, 16}), (Rect{15, 49, 218, 10}));
  EXPECT_EQ(ui::ProgressBarRectangle({96, 8, 16, 16}), (Rect{20, 60, 290, 13}));
  // At 144 dpi the dialog units shrink by 72 / 144; 17 · 8 / 8 = 17 → 8.5 → 9.
  EXPECT_EQ(ui::ProgressBarRectangle({144, 8, 16, 16}), (Rect{13, 40, 193, 9}));
}

TEST(DisplayMetricsTest, CentringKeepsTheSizeAndTruncatesHalves) {
  EXPECT_EQ(ui::CentreOver({100, 50, 801, 600}, {0, 0, 300, 201}), (Rect{350, 249, 300, 201}));
  // A window wider than its owner overhangs it on both sides.
  EXPECT_EQ(ui::CentreOver({0, 0, 100, 100}, {5, 5, 301, 100}), (Rect{-100, 0, 301, 100}));
}

}  // namespace
