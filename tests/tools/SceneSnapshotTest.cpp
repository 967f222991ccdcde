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

// Pixels drawn in red, and whether any of them lies on the picture's border.
struct Coverage {
  size_t pixels = 0;
  bool touchesBorder = false;
};

Coverage RedCoverage(const SnapshotImage& image) {
  Coverage coverage;
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      const uint8_t* pixel = &image.rgba[(size_t(y) * image.width + x) * 4];
      if (pixel[0] == 0 || pixel[1] != 0) continue;  // the background is grey
      ++coverage.pixels;
      coverage.touchesBorder |= x == 0 || y == 0 || x + 1 == image.width || y + 1 == image.height;
    }
  }
  return coverage;
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
  const Coverage fitted = RedCoverage(RenderSnapshot(scene, kWidth, kHeight));
  EXPECT_GT(fitted.pixels, 0u);
  EXPECT_FALSE(fitted.touchesBorder);
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

// A quad filling the middle of the picture seen down the z axis, with UVs from (0, 0) at its
// bottom left to (1, 1) at its top right, and a 2×2 texture: red and green on top, blue and
// yellow below. Its own colour is magenta, which shows only where the texture is not drawn.
MirroredSurface TexturedQuad() {
  MirroredSurface quad;
  quad.color = 0xFF00FF;
  quad.vertexCount = 4;
  quad.positions = {-1, -1, 2, 1, -1, 2, 1, 1, 2, -1, 1, 2};
  quad.uvs = {0, 0, 1, 0, 1, 1, 0, 1};
  quad.indices = {0, 1, 2, 0, 2, 3};
  quad.textures[0].segment = 7;
  quad.textures[0].width = quad.textures[0].height = 2;
  quad.textures[0].rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255};
  return quad;
}

// Which of red, green and blue are bright in the pixel, as bits 4, 2 and 1.
int Channels(const SnapshotImage& image, uint32_t x, uint32_t y) {
  const uint8_t* pixel = &image.rgba[(size_t(y) * image.width + x) * 4];
  return (pixel[0] > 100) << 2 | (pixel[1] > 100) << 1 | (pixel[2] > 100);
}

TEST(SceneSnapshot, ATexturedSurfaceShowsItsTextureTheRightWayRound) {
  MirroredScene scene = LookingDownTheZAxis();
  scene.surfaces.push_back(TexturedQuad());
  const SnapshotImage image = RenderSnapshot(scene, kWidth, kHeight);
  const uint32_t left = kWidth / 2 - 8, right = kWidth / 2 + 8, top = kHeight / 2 - 8, bottom = kHeight / 2 + 8;
  EXPECT_EQ(Channels(image, left, top), 4) << "red at the top left";
  EXPECT_EQ(Channels(image, right, top), 2) << "green at the top right";
  EXPECT_EQ(Channels(image, left, bottom), 1) << "blue at the bottom left";
  EXPECT_EQ(Channels(image, right, bottom), 6) << "yellow at the bottom right";

  // UVs past 1 repeat the texture: twice across, the left quarter of the quad is red again.
  scene.surfaces[0].uvs = {0, 0, 2, 0, 2, 1, 0, 1};
  EXPECT_EQ(Channels(RenderSnapshot(scene, kWidth, kHeight), kWidth / 2 + 3, top), 4);
}

TEST(SceneSnapshot, ATextureThatCannotBeSampledLeavesTheSurfaceInItsColour) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<MirroredSurface> broken(5, TexturedQuad());
  broken[0].uvs = {};                                        // a mesh without UVs
  broken[1].uvs = {0, 0, 1, 0};                              // fewer than its vertices
  broken[2].textures[0].rgba = {255, 0, 0, 255};             // fewer pixels than its size
  broken[3].textures[0] = MirroredTexture{};                 // a texture that could not be read
  broken[4].uvs = {nan, 0, 1, 0, 1, nan, 0, 1};              // not numbers, where they weigh in
  for (size_t index = 0; index < broken.size(); ++index) {
    MirroredScene scene = LookingDownTheZAxis();
    scene.surfaces.push_back(broken[index]);
    const SnapshotImage image = RenderSnapshot(scene, kWidth, kHeight);
    // Magenta in the corners where NaN UVs weigh in, and everywhere for the others.
    EXPECT_EQ(Channels(image, kWidth / 2 + 8, kHeight / 2 - 8), 5) << "case " << index;
    EXPECT_EQ(Channels(image, kWidth / 2 - 8, kHeight / 2 + 8), 5) << "case " << index;
  }
}

// A cube of `size` around (size, 0, -size), in red.
MirroredSurface Cube(float size) {
  std::vector<float> positions;
  for (int corner = 0; corner < 8; ++corner) {
    positions.insert(positions.end(), {size * (corner & 1 ? 1.5f : 0.5f), size * (corner & 2 ? 0.5f : -0.5f),
                                       size * (corner & 4 ? -0.5f : -1.5f)});
  }
  MirroredSurface cube;
  cube.color = 0xFF0000;
  cube.vertexCount = 8;
  cube.positions = std::move(positions);
  cube.indices = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1,
                  2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3};
  return cube;
}

TEST(SceneSnapshot, WithoutACameraAModelOfAnySizeFillsThePictureAlikeWithAMargin) {
  constexpr uint32_t kWide = 160, kHigh = 120;
  size_t unitPixels = 0;
  for (const float size : {1.0f, 1e-4f, 1e3f, 1e6f}) {
    MirroredScene scene;
    scene.surfaces.push_back(Cube(size));
    const Coverage coverage = RedCoverage(RenderSnapshot(scene, kWide, kHigh));
    EXPECT_FALSE(coverage.touchesBorder) << "size " << size;
    if (size == 1.0f) unitPixels = coverage.pixels;
    EXPECT_GT(coverage.pixels, size_t(kWide) * kHigh / 5) << "size " << size;
    EXPECT_NEAR(double(coverage.pixels), double(unitPixels), unitPixels * 0.02) << "size " << size;
  }
}

TEST(SceneSnapshot, WithoutACameraAFlatOrEmptyDrawingGivesASensiblePicture) {
  constexpr uint32_t kWide = 160, kHigh = 120;
  MirroredScene empty;
  const SnapshotImage background = RenderSnapshot(empty, kWide, kHigh);
  ASSERT_EQ(background.rgba.size(), size_t(kWide) * kHigh * 4);

  // A triangle drawn to a point, and one along a line: nothing to see, and no numbers that are not.
  for (const std::vector<float>& degenerate : {std::vector<float>{3, 4, 5, 3, 4, 5, 3, 4, 5},
                                               std::vector<float>{0, 0, 0, 1, 1, 1, 2, 2, 2}}) {
    MirroredScene scene;
    scene.surfaces.push_back(Triangle(degenerate, 0xFF0000));
    EXPECT_EQ(RenderSnapshot(scene, kWide, kHigh).rgba, background.rgba);
  }
  // A square flat in each axis in turn is seen whole, inside the margin.
  for (int flatAxis = 0; flatAxis < 3; ++flatAxis) {
    MirroredSurface square = Triangle({}, 0xFF0000);
    std::vector<float> positions;
    for (int corner = 0; corner < 4; ++corner) {
      float point[3] = {0.01f, 0.01f, 0.01f};
      point[(flatAxis + 1) % 3] = corner & 1 ? 0.02f : 0;
      point[(flatAxis + 2) % 3] = corner & 2 ? 0.02f : 0;
      positions.insert(positions.end(), point, point + 3);
    }
    square.vertexCount = 4;
    square.positions = std::move(positions);
    square.indices = {0, 1, 3, 0, 3, 2};
    MirroredScene scene;
    scene.surfaces.push_back(square);
    const Coverage coverage = RedCoverage(RenderSnapshot(scene, kWide, kHigh));
    EXPECT_FALSE(coverage.touchesBorder) << "flat in axis " << flatAxis;
    EXPECT_GT(coverage.pixels, size_t(kWide) * kHigh / 10) << "flat in axis " << flatAxis;
  }
}

}  // namespace
