#include "geometry/Octree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "platform/Parallel.h"

using TideLinkGeometryUtils::Octree;
using TideLinkGeometryUtils::Point;

namespace {

std::vector<Point> RandomCloud(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
  std::vector<Point> points(count);
  for (size_t i = 0; i < count; ++i)
    points[i] = {coordinate(random), coordinate(random), coordinate(random), 0};
  return points;
}

std::vector<std::vector<uint32_t>> Leaves(const Octree& octree) {
  std::vector<std::vector<uint32_t>> leaves;
  for (auto leaf : octree.CollectLeaves())
    leaves.emplace_back(leaf.begin(), leaf.end());
  return leaves;
}

// Every point in exactly one leaf.
void ExpectPartition(const Octree& octree, size_t pointCount) {
  std::vector<int> seen(pointCount, 0);
  for (const auto& leaf : octree.CollectLeaves())
    for (uint32_t p : leaf)
      ++seen[p];
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
}

}  // namespace

TEST(OctreeTest, SmallMeshesStayInOneLeaf) {
  const auto points = RandomCloud(2000, 1);
  Octree octree(points, 2000, 350);
  EXPECT_EQ(octree.LeafCount(), 1u);
  ExpectPartition(octree, points.size());
  EXPECT_EQ(Octree::DepthLimit(2000, 350), 11u);
  EXPECT_EQ(Octree::DepthLimit(1000000, 350), 250u);
  EXPECT_EQ(Octree::DepthLimit(1000000, 7), 7u);
}

TEST(OctreeTest, SplitsByStrictComparisonAgainstTheCentre) {
  // Eight corners of a cube, repeated until the depth limit allows a split: one leaf per
  // octant, in octant order, children placed by the offsets.
  std::vector<Point> points;
  for (uint32_t code = 0; code < 8; ++code)
    points.push_back({code & 1 ? 1.0f : -1.0f, code & 2 ? 1.0f : -1.0f, code & 4 ? 1.0f : -1.0f,
                      0});
  Octree octree(points, 1, 350);
  // 8 vertices give a depth limit of floor(sqrt(8) / 4) = 0: nothing is split.
  EXPECT_EQ(octree.LeafCount(), 1u);

  std::vector<Point> many(points);
  while (many.size() < 64)
    many.push_back(points[many.size() % 8]);  // depth limit 2
  Octree split(many, 1, 350);
  const auto leaves = Leaves(split);
  ASSERT_EQ(leaves.size(), 8u);
  for (uint32_t code = 0; code < 8; ++code) {
    ASSERT_EQ(leaves[code].size(), 8u);
    for (uint32_t p : leaves[code])
      EXPECT_EQ(p % 8, code);
    const auto& child = *split.Root().children[code];
    for (int a = 0; a < 3; ++a)
      EXPECT_FLOAT_EQ(child.centre[a], Octree::kChildOffsets[code][a]);
    EXPECT_FLOAT_EQ(child.halfSize, 0.5f);
  }
  // A coordinate equal to the centre's goes to the lower side.
  const float centre[3] = {0.0f, 0.0f, 0.0f};
  EXPECT_EQ(Octree::OctantCode(centre, 0.0f, 0.0f, 0.0f), 0u);
  EXPECT_EQ(Octree::OctantCode(centre, 1e-30f, 0.0f, 1e-30f), 5u);
}

TEST(OctreeTest, SplitsOnlyPastTheLeafCapacityAndAboveTheDepthLimit) {
  // Two distinct points in each octant: 16 points give a depth limit of exactly 1, 15 give 0.
  std::vector<Point> points;
  for (const float distance : {1.0f, 0.5f})
    for (uint32_t code = 0; code < 8; ++code)
      points.push_back({code & 1 ? distance : -distance, code & 2 ? distance : -distance,
                        code & 4 ? distance : -distance, 0});
  EXPECT_EQ(Octree(points, 16, 350).LeafCount(), 1u);  // at capacity: no split
  EXPECT_EQ(Octree(points, 15, 350).LeafCount(), 8u);
  EXPECT_EQ(Octree(points, 1, 350).LeafCount(), 8u);   // the children sit at the depth limit
  EXPECT_EQ(Octree(points, 1, 0).LeafCount(), 1u);
  points.pop_back();
  EXPECT_EQ(Octree(points, 1, 350).LeafCount(), 1u);
}

TEST(OctreeTest, LeavesPartitionTheCloudAndDoNotDependOnWorkers) {
  const auto points = RandomCloud(60000, 2);
  std::vector<std::vector<uint32_t>> serialLeaves;
  {
    const platform::WorkerLimit one(1);
    Octree serial(points, 64, 350);
    serialLeaves = Leaves(serial);
    EXPECT_EQ(serialLeaves.size(), serial.LeafCount());
  }
  Octree parallel(points, 64, 350);
  ExpectPartition(parallel, points.size());
  EXPECT_GT(parallel.LeafCount(), 60000u / 64);
  for (const auto& leaf : Leaves(parallel))
    EXPECT_LE(leaf.size(), 64u);
  EXPECT_EQ(Leaves(parallel), serialLeaves);
}

TEST(OctreeTest, IdenticalPositionsShareALeafEvenBeyondCapacity) {
  // A million points on one spot: one leaf at once rather than a chain as deep as the limit.
  std::vector<Point> points(1000000, Point{0.25f, -3.0f, 7.0f, 0});
  points.push_back({100.0f, 100.0f, 100.0f, 0});
  Octree octree(points, 2000, 350);
  const auto leaves = octree.CollectLeaves();
  ASSERT_EQ(leaves.size(), 2u);
  EXPECT_EQ(leaves[0].size(), 1000000u);
  EXPECT_EQ(leaves[1].size(), 1u);
}

TEST(OctreeTest, NonFinitePositionsNeitherStopTheSplitNorGetLost) {
  auto points = RandomCloud(20000, 3);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  points[0].x = inf;
  points[1].y = -inf;
  points[2].z = nan;
  points[3] = {nan, nan, nan, 0};
  Octree octree(points, 100, 350);
  ExpectPartition(octree, points.size());
  EXPECT_GT(octree.LeafCount(), 100u);
  for (int a = 0; a < 3; ++a)
    EXPECT_TRUE(std::isfinite(octree.Root().centre[a]));

  // Nothing finite at all, and a box wider than the float range.
  std::vector<Point> none(5000, Point{nan, inf, -inf, 0});
  Octree empty(none, 10, 350);
  ExpectPartition(empty, none.size());
  const float big = std::numeric_limits<float>::max();
  std::vector<Point> wide = {{-big, 0, 0, 0}, {big, 0, 0, 0}};
  Octree wideTree(wide, 10, 350);
  EXPECT_EQ(wideTree.Root().centre[0], 0.0f);
  EXPECT_EQ(wideTree.Root().halfSize, big);
}
