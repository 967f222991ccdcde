// The renderer's picture of what it mirrors, on numbers from the other process that it cannot
// trust.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tools/renderer/SceneSnapshot.h"

namespace {

constexpr uint32_t kWidth = 64, kHeight = 48;

MirroredScene LookingDownTheZAxis() {
  MirroredScene scene;
  scene.camera.enabled = true;
  scene.camera.matrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  scene.camera.fieldOfView = 60;
  return scene;
}

MirroredSurface Triangle(std::vector<float> positions, uint32_t color) {
  MirroredSurface surface;
  surface.color = color;
  surface.vertexCount = 3;
  surface.positions = std::move(positions);
  surface.indices = {0, 1, 2};
  return surface;
}

const uint8_t* Centre(const SnapshotImage& image) {
  return &image.rgba[(size_t(kHeight / 2) * kWidth + kWidth / 2) * 4];
}

TEST(SceneSnapshot, HugeAndNonFiniteCoordinatesAreDrawnClippedOrLeftOut) {
  MirroredScene scene = LookingDownTheZAxis();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float infinity = std::numeric_limits<float>::infinity();
  // Screen coordinates far beyond any integer, around the middle of the picture.
  scene.surfaces.push_back(Triangle({1e30f, 0, 1, 0, 1e30f, 1, -1e30f, -1e30f, 1}, 0xFF0000));
  scene.surfaces.push_back(Triangle({nan, 0, 0.5f, 0, nan, 0.5f, 0, 0, nan}, 0x00FF00));
  scene.surfaces.push_back(Triangle({infinity, 0, 0.5f, 0, -infinity, 0.5f, 0, 0, 0.5f}, 0x0000FF));
  const SnapshotImage image = RenderSnapshot(scene, kWidth, kHeight);
  ASSERT_EQ(image.rgba.size(), size_t(kWidth) * kHeight * 4);
  const uint8_t* centre = Centre(image);
  EXPECT_GT(centre[0], 0);
  EXPECT_EQ(centre[1], 0) << "the huge red triangle covers the middle; the others are left out";
  EXPECT_EQ(centre[2], 0);

  // Without a camera the view is fitted to the scene, huge coordinates included.
  scene.camera.enabled = false;
  EXPECT_EQ(RenderSnapshot(scene, kWidth, kHeight).rgba.size(), image.rgba.size());
}

TEST(SceneSnapshot, ANonFiniteCameraDrawsOnlyTheBackground) {
  MirroredScene scene = LookingDownTheZAxis();
  scene.camera.matrix[12] = std::numeric_limits<float>::quiet_NaN();
  scene.camera.fieldOfView = std::numeric_limits<float>::infinity();
  scene.surfaces.push_back(Triangle({-1, -1, 1, 1, -1, 1, 0, 1, 1}, 0xFF0000));
  MirroredScene empty = scene;
  empty.surfaces.clear();
  EXPECT_EQ(RenderSnapshot(scene, kWidth, kHeight).rgba, RenderSnapshot(empty, kWidth, kHeight).rgba);
}

}  // namespace
