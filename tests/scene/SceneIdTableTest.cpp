// The id-keyed tables behind every map and set of the scene stores.
#include <gtest/gtest.h>

#include "scene/SceneIdTable.h"

namespace {

TEST(SceneIdTable, GrowsPastOneElementPerBucketAndKeepsElementsInPlace) {
  SceneIdTable<int> table;
  int* first = &table[{1000, 7}];
  for (uint64_t i = 0; i < 7; ++i) table[{i, 0}] = static_cast<int>(i);
  EXPECT_EQ(table.bucketCount(), 8u);
  table[{7, 0}] = 7;
  EXPECT_EQ(table.bucketCount(), 16u);
  for (uint64_t i = 0; i < 1000; ++i) table[{i, 0}] = static_cast<int>(i);
  EXPECT_EQ(first, table.find({1000, 7}));
  EXPECT_EQ(*table.find({999, 0}), 999);
}

TEST(SceneIdTable, CollidingIdsStayApartAndWalksKeepInsertionOrder) {
  // (low × 31) XOR high is 0 for a and b, and all ones for the sentinel c and for d.
  SceneIdTable<int> table;
  const SceneId a{0, 0}, b{1, 31}, c = kNoSceneId, d{1, ~uint64_t{0} ^ 31};
  EXPECT_TRUE(table.insert(c));
  table[a] = 1;
  table[b] = 2;
  table[d] = 4;
  EXPECT_FALSE(table.insert(b));
  EXPECT_TRUE(table.erase(b));
  EXPECT_EQ(table.find(b), nullptr);
  EXPECT_EQ(*table.find(a), 1);
  EXPECT_EQ(*table.find(d), 4);
  table[b] = 5;
  std::vector<SceneId> order;
  for (const auto& element : table) order.push_back(element.id);
  EXPECT_EQ(order, (std::vector<SceneId>{c, a, d, b}));
}

}  // namespace
