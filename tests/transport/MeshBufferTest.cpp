#include "transport/MeshBuffer.h"

#include <cstring>
#include <numeric>
#include <gtest/gtest.h>

namespace {

uint32_t U32(const uint8_t* base, size_t offset) {
  uint32_t value;
  std::memcpy(&value, base + offset, 4);
  return value;
}

float F32(const uint8_t* base, size_t offset) {
  float value;
  std::memcpy(&value, base + offset, 4);
  return value;
}

TideLinkMesh TwoTriangles(uint64_t uvSets) {
  TideLinkMesh mesh = TideLinkMesh::Create(4, 6, uvSets);
  for (size_t index = 0; index < mesh.positions.size(); ++index) mesh.positions[index] = 1 + index;
  for (size_t index = 0; index < mesh.normals.size(); ++index) mesh.normals[index] = 100 + index;
  for (size_t index = 0; index < mesh.uvs.size(); ++index) mesh.uvs[index] = 200 + index;
  mesh.indices = {0, 1, 2, 2, 1, 3};
  return mesh;
}

std::vector<uint8_t> Encoded(const MeshBuffer& buffer) {
  std::vector<uint8_t> bytes(buffer.size());
  buffer.Encode(bytes.data());
  return bytes;
}

bool Assign(MeshBuffer& buffer, const TideLinkMesh& mesh) {
  return buffer.Assign(mesh.vertexCount, mesh.indexCount, mesh.uvSetCount, mesh.positions,
                       mesh.normals, mesh.uvs, mesh.indices);
}

TEST(MeshBufferTest, EncodesCountsThenPositionsNormalsUvSetsAndIndices) {
  MeshBuffer buffer;
  ASSERT_TRUE(Assign(buffer, TwoTriangles(2)));
  const std::vector<uint8_t> encoded = Encoded(buffer);
  const uint8_t* bytes = encoded.data();
  const size_t vertices = 4, sets = 2;
  ASSERT_EQ(buffer.size(), 12 + 12 * vertices + 12 * vertices + 8 * sets * vertices + 4 * 6);
  EXPECT_EQ(U32(bytes, 0), 4u);
  EXPECT_EQ(U32(bytes, 4), 6u);
  EXPECT_EQ(U32(bytes, 8), 2u);
  EXPECT_EQ(F32(bytes, 12), 1.0f);
  EXPECT_EQ(F32(bytes, 12 + 12 * vertices), 100.0f);
  EXPECT_EQ(F32(bytes, 12 + 24 * vertices), 200.0f);
  EXPECT_EQ(F32(bytes, 12 + 24 * vertices + 8 * sets * vertices - 4), 215.0f);
  EXPECT_EQ(U32(bytes, 12 + 24 * vertices + 8 * sets * vertices + 20), 3u);

  TideLinkMesh decoded;
  ASSERT_TRUE(buffer.Decode(decoded));
  const TideLinkMesh original = TwoTriangles(2);
  EXPECT_EQ(decoded.positions, original.positions);
  EXPECT_EQ(decoded.normals, original.normals);
  EXPECT_EQ(decoded.uvs, original.uvs);
  EXPECT_EQ(decoded.indices, original.indices);
}

TEST(MeshBufferTest, RefusesArraysThatDoNotMatchTheCountsAndKeepsTheMeshItHad) {
  MeshBuffer buffer;
  ASSERT_TRUE(Assign(buffer, TwoTriangles(1)));
  const std::vector<uint8_t> before = Encoded(buffer);
  for (auto damage : {+[](TideLinkMesh& mesh) { mesh.positions.push_back(0); },
                      +[](TideLinkMesh& mesh) { mesh.normals.pop_back(); },
                      +[](TideLinkMesh& mesh) { mesh.uvs.push_back(0); },
                      +[](TideLinkMesh& mesh) { mesh.indexCount = 7; },
                      // counts that the 32-bit words would wrap
                      +[](TideLinkMesh& mesh) { mesh.vertexCount = 1ull << 32; },
                      +[](TideLinkMesh& mesh) { mesh.indexCount = (1ull << 32) + 6; }}) {
    TideLinkMesh mesh = TwoTriangles(1);
    damage(mesh);
    EXPECT_FALSE(Assign(buffer, mesh));
    EXPECT_EQ(Encoded(buffer), before);
  }
  buffer.Clear();
  EXPECT_TRUE(buffer.empty());
  TideLinkMesh decoded;
  EXPECT_FALSE(buffer.Decode(decoded));
}

// Indices without vertices: 12 + 4 × count bytes.
TideLinkMesh IndicesOnly(uint64_t count) {
  TideLinkMesh mesh = TideLinkMesh::Create(0, count, 0);
  std::iota(mesh.indices.begin(), mesh.indices.end(), 7u);
  return mesh;
}

TEST(MeshBufferTest, KeepsAnArraysStorageForOneThatFitsItAndIsAtLeastHalfItsSize) {
  MeshBuffer buffer;
  const auto storage = [&] { return buffer.mesh().indices.data(); };
  ASSERT_TRUE(Assign(buffer, IndicesOnly(24)));
  const uint32_t* kept = storage();
  ASSERT_TRUE(Assign(buffer, IndicesOnly(24)));
  EXPECT_EQ(storage(), kept);
  ASSERT_TRUE(Assign(buffer, IndicesOnly(12)));  // exactly half
  EXPECT_EQ(storage(), kept);
  EXPECT_EQ(buffer.size(), 12u + 4 * 12);
  TideLinkMesh decoded;
  ASSERT_TRUE(buffer.Decode(decoded));
  EXPECT_EQ(decoded.indices, IndicesOnly(12).indices);
  // Less than half, then more than the storage holds: fresh storage each time (allocated while
  // the old one is still held, so at another address).
  ASSERT_TRUE(Assign(buffer, IndicesOnly(11)));
  EXPECT_NE(storage(), kept);
  kept = storage();
  ASSERT_TRUE(Assign(buffer, IndicesOnly(12)));
  EXPECT_NE(storage(), kept);
  ASSERT_TRUE(buffer.Decode(decoded));
  EXPECT_EQ(decoded.indices, IndicesOnly(12).indices);
}

TEST(MeshBufferTest, SegmentCapacityIsTwiceTheMeshOnlyWhileItFitsThirtyTwoBits) {
  EXPECT_EQ(MeshSegmentCapacity(12), 24u);
  EXPECT_EQ(MeshSegmentCapacity(0x7FFFFFFF), 0xFFFFFFFEu);
  EXPECT_EQ(MeshSegmentCapacity(0x80000000), std::nullopt);
  EXPECT_EQ(MeshSegmentCapacity(0x100000000ull), std::nullopt);
}

}  // namespace
