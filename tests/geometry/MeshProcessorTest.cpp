#include "geometry/MeshProcessor.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <random>
#include <utility>

#include <gtest/gtest.h>

#include "tests/geometry/GeometryTestSupport.h"

using namespace GeometryTest;

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

bool Optimise(TideLinkMesh& mesh) { return optimise(mesh); }
bool RepairSolid(TideLinkMesh& mesh) { return repair(mesh, kDefaultRepairParams); }
bool RepairSurface(TideLinkMesh& mesh) { return repair(mesh, kPerSurfaceRepairParams); }

// Unit cube, four vertices per face with the face's normal, so that repair has to weld corners
// to connect the faces. Faces come outward-wound; `inward` reverses every triangle and normal.
TideLinkMesh Box(bool inward) {
  TideLinkMesh mesh = TideLinkMesh::Create(24, 36, 1);
  const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int face = 0; face < 6; ++face) {
    const int a = face / 2, u = (a + 1) % 3, v = (a + 2) % 3;
    const bool high = face % 2 == 0;
    for (int c = 0; c < 4; ++c) {
      const int corner = high ? c : (4 - c) % 4;  // the low faces run the other way round
      float* p = &mesh.positions[3 * (4 * face + c)];
      p[a] = high ? 1.0f : 0.0f;
      p[u] = corners[corner][0];
      p[v] = corners[corner][1];
      mesh.normals[3 * (4 * face + c) + a] = (high != inward) ? 1.0f : -1.0f;
    }
    const uint32_t q = 4 * face;
    const uint32_t triangles[6] = {q, q + 1, q + 2, q, q + 2, q + 3};
    std::copy(triangles, triangles + 6, &mesh.indices[6 * face]);
  }
  if (inward)
    for (size_t t = 0; t < 12; ++t)
      std::swap(mesh.indices[3 * t], mesh.indices[3 * t + 1]);
  return mesh;
}

// Direction of the triangle as wound, by positions.
void Winding(const TideLinkMesh& mesh, size_t t, float out[3]) {
  const float* p[3];
  for (int k = 0; k < 3; ++k)
    p[k] = &mesh.positions[3 * size_t(mesh.indices[3 * t + k])];
  const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
  const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
  out[0] = e1[1] * e2[2] - e1[2] * e2[1];
  out[1] = e1[2] * e2[0] - e1[0] * e2[2];
  out[2] = e1[0] * e2[1] - e1[1] * e2[0];
}

void ExpectBoxOutward(const TideLinkMesh& mesh, size_t triangles = 12) {
  for (size_t t = 0; t < triangles; ++t) {
    float n[3], centre[3] = {0, 0, 0};
    Winding(mesh, t, n);
    for (int k = 0; k < 3; ++k)
      for (int a = 0; a < 3; ++a)
        centre[a] += mesh.positions[3 * size_t(mesh.indices[3 * t + k]) + a] / 3 - 0.5f / 3;
    EXPECT_GT(n[0] * centre[0] + n[1] * centre[1] + n[2] * centre[2], 0.0f) << "triangle " << t;
  }
}

// Grid of n x n quads on z = 0, each quad with its own four vertices.
TideLinkMesh SeparateQuads(uint32_t n) {
  TideLinkMesh mesh = TideLinkMesh::Create(4ull * n * n, 6ull * n * n, 1);
  for (uint32_t y = 0; y < n; ++y)
    for (uint32_t x = 0; x < n; ++x) {
      const uint32_t q = 4 * (y * n + x);
      const uint32_t dx[4] = {0, 1, 1, 0}, dy[4] = {0, 0, 1, 1};
      for (int c = 0; c < 4; ++c) {
        const float px = float(x + dx[c]) / n, py = float(y + dy[c]) / n;
        const float vertex[8] = {px, py, 0, 0, 0, 1, px, py};
        std::copy(vertex, vertex + 3, &mesh.positions[3 * size_t(q + c)]);
        std::copy(vertex + 3, vertex + 6, &mesh.normals[3 * size_t(q + c)]);
        std::copy(vertex + 6, vertex + 8, &mesh.uvs[2 * size_t(q + c)]);
      }
      const uint32_t triangles[6] = {q, q + 1, q + 2, q, q + 2, q + 3};
      std::copy(triangles, triangles + 6, &mesh.indices[6 * size_t(y * n + x)]);
    }
  return mesh;
}

// Each index's vertex record: what optimise must preserve for every triangle.
std::vector<float> CornerRecord(const TideLinkMesh& mesh, uint32_t index) {
  std::vector<float> record(&mesh.positions[3 * size_t(index)], &mesh.positions[3 * size_t(index) + 3]);
  record.insert(record.end(), &mesh.normals[3 * size_t(index)], &mesh.normals[3 * size_t(index) + 3]);
  const size_t uv = 2 * mesh.uvSetCount;
  record.insert(record.end(), mesh.uvs.begin() + uv * index, mesh.uvs.begin() + uv * (index + 1));
  return record;
}

const Vertex kA{{0, 0, 0}, {0, 0, 1}, {0, 0}};
const Vertex kB{{1, 0, 0}, {0, 0, 1}, {1, 0}};
const Vertex kC{{0, 1, 0}, {0, 0, 1}, {0, 1}};

}  // namespace

// --- optimise ---------------------------------------------------------------------------------

TEST(MeshProcessorOptimiseTest, MergesTwoIdenticalTrianglesIntoThreeVertices) {
  const auto result = RunBothWays(MakeMesh({kA, kB, kC, kA, kB, kC}, {0, 1, 2, 3, 4, 5}), Optimise);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(result.mesh.vertexCount, 3u);
  EXPECT_EQ(result.mesh.indices, (std::vector<uint32_t>{0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(result.mesh.positions, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
  EXPECT_EQ(result.mesh.uvs, (std::vector<float>{0, 0, 1, 0, 0, 1}));
}

TEST(MeshProcessorOptimiseTest, LeavesVerticesThatDifferInAnyAttributeApart) {
  Vertex otherUv = kA, otherNormal = kA, nextFloat = kA;
  otherUv.uv[1] = 0.5f;
  otherNormal.normal[0] = 1.0f;
  nextFloat.position[0] = std::nextafter(0.0f, 1.0f);
  for (const Vertex& twin : {otherUv, otherNormal, nextFloat}) {
    const TideLinkMesh input = MakeMesh({kA, kB, kC, twin}, {0, 1, 2, 3, 1, 2});
    const auto result = RunBothWays(input, Optimise);
    EXPECT_FALSE(result.changed);
    EXPECT_TRUE(SameMesh(result.mesh, input));
  }
}

TEST(MeshProcessorOptimiseTest, DropsUnusedVerticesInFirstUseOrderAndZeroesFreedSlots) {
  const Vertex unused{{5, 5, 5}, {1, 0, 0}, {9, 9}};
  const auto result =
      RunBothWays(MakeMesh({kA, kB, kC, unused, kA, kB, kC}, {4, 5, 6, 2, 1, 0}), Optimise);
  EXPECT_TRUE(result.changed);
  // Seven vertices, three merged: four slots, of which the unused vertex's is left zero.
  EXPECT_EQ(result.mesh.vertexCount, 4u);
  EXPECT_EQ(result.mesh.indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 0}));
  EXPECT_EQ(result.mesh.positions, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(result.mesh.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(result.mesh.uvs, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0}));
}

TEST(MeshProcessorOptimiseTest, WeldsAGridOfSeparateQuadsAcrossManyLeaves) {
  const uint32_t n = 60;
  const TideLinkMesh input = SeparateQuads(n);
  repairParams smallLeaves = kDefaultRepairParams;
  smallLeaves.leafCapacity = 16;
  const auto result =
      RunBothWays(input, [&](TideLinkMesh& mesh) { return optimise(mesh, smallLeaves); });
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(result.mesh.vertexCount, (n + 1) * (n + 1));
  ASSERT_EQ(result.mesh.indexCount, input.indexCount);
  for (size_t i = 0; i < input.indexCount; ++i)
    ASSERT_EQ(CornerRecord(result.mesh, result.mesh.indices[i]), CornerRecord(input, input.indices[i]));
}

TEST(MeshProcessorOptimiseTest, ComparesEveryUvSet) {
  TideLinkMesh twoSets = TideLinkMesh::Create(4, 6, 2);
  for (int v = 0; v < 4; ++v)
    twoSets.positions[3 * v + (v % 2)] = 1.0f;  // 0 and 2 share a position, 1 and 3 too
  twoSets.uvs[2 * 2 * 3 + 2] = 0.5f;            // vertex 3 differs in its second set only
  twoSets.indices = {0, 1, 2, 2, 3, 0};
  auto result = RunBothWays(twoSets, Optimise);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(result.mesh.vertexCount, 3u);
  EXPECT_EQ(result.mesh.indices, (std::vector<uint32_t>{0, 1, 0, 0, 2, 0}));
  EXPECT_EQ(result.mesh.uvs, (std::vector<float>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5f, 0}));

  TideLinkMesh noSets = TideLinkMesh::Create(4, 6, 0);
  noSets.indices = {0, 1, 2, 2, 3, 0};
  result = RunBothWays(noSets, Optimise);
  EXPECT_EQ(result.mesh.vertexCount, 1u);
  EXPECT_TRUE(result.mesh.uvs.empty());
}

// --- repair -----------------------------------------------------------------------------------

TEST(MeshProcessorRepairTest, TurnsATriangleWoundAgainstItsNeighbourAcrossWeldedVertices) {
  // The second triangle repeats the shared edge's vertices, one of them moved along one axis,
  // and runs the edge the same way as the first. Offsets start from 0, so they are exact.
  auto twoTriangles = [](int axis, float offset) {
    const Vertex d{{1, 1, 0}, {0, 0, 1}, {1, 1}};
    Vertex b2 = kB, c2 = kC;
    (axis == 0 ? c2 : b2).position[axis] += offset;
    return MakeMesh({kA, kB, kC, b2, c2, d}, {0, 1, 2, 3, 4, 5});
  };
  const float tolerance = 1.1920929e-7f;
  for (int axis = 0; axis < 3; ++axis) {
    // Just inside the tolerance the edge is shared.
    auto result = RunBothWays(twoTriangles(axis, std::nextafter(tolerance, 0.0f)), RepairSurface);
    EXPECT_TRUE(result.changed) << axis;
    EXPECT_EQ(result.mesh.indices, (std::vector<uint32_t>{0, 1, 2, 4, 3, 5})) << axis;

    // At the tolerance and beyond it (though inside the sorted window) it is not.
    for (const float offset : {tolerance, 2.5e-7f}) {
      result = RunBothWays(twoTriangles(axis, offset), RepairSurface);
      EXPECT_FALSE(result.changed) << axis << " " << offset;
      EXPECT_EQ(result.mesh.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5})) << axis;
    }
  }
}

TEST(MeshProcessorRepairTest, TurnsAnInwardBoxOutward) {
  const TideLinkMesh inward = Box(true);
  auto result = RunBothWays(inward, RepairSolid);
  EXPECT_FALSE(result.changed);  // the winding already agreed
  for (size_t t = 0; t < 12; ++t) {
    EXPECT_EQ(result.mesh.indices[3 * t], inward.indices[3 * t + 1]);
    EXPECT_EQ(result.mesh.indices[3 * t + 1], inward.indices[3 * t]);
    EXPECT_EQ(result.mesh.indices[3 * t + 2], inward.indices[3 * t + 2]);
  }
  ExpectBoxOutward(result.mesh);
  const TideLinkMesh outward = Box(false);
  EXPECT_EQ(result.mesh.normals, outward.normals);  // kept normals, turned
  EXPECT_TRUE(SameBits(result.mesh.positions, inward.positions));

  repairParams computeNormals = kDefaultRepairParams;
  computeNormals.keepNormals = 0;
  MeshProcessor processor(computeNormals);
  TideLinkMesh recomputed = inward;
  processor.Repair(recomputed);
  EXPECT_EQ(recomputed.normals, outward.normals);
  EXPECT_NEAR(processor.EnclosedVolume(), -1.0f, 1e-5f);
}

TEST(MeshProcessorRepairTest, LeavesAnOutwardBoxAsItIs) {
  const TideLinkMesh outward = Box(false);
  const auto result = RunBothWays(outward, RepairSolid);
  EXPECT_FALSE(result.changed);
  EXPECT_TRUE(SameMesh(result.mesh, outward));
}

TEST(MeshProcessorRepairTest, AFaceWoundAgainstTheRestEndsUpOutward) {
  // Whichever face is reversed, seed face included, the whole box comes out outward.
  for (int face = 0; face < 6; ++face) {
    TideLinkMesh box = Box(false);
    for (size_t t = 2 * face; t < 2 * face + 2u; ++t)
      std::swap(box.indices[3 * t], box.indices[3 * t + 1]);
    const auto result = RunBothWays(box, RepairSolid);
    EXPECT_TRUE(result.changed) << "face " << face;
    ExpectBoxOutward(result.mesh);
  }
}

TEST(MeshProcessorRepairTest, OpenSurfacesWithoutOrientOutwardFollowTheirSeed) {
  // Two separate strips of four triangles each with alternating winding; the first strip's
  // first triangle faces +z, the second's faces -z.
  TideLinkMesh strips = TideLinkMesh::Create(12, 24, 1);
  for (uint32_t s = 0; s < 2; ++s) {
    for (uint32_t i = 0; i < 6; ++i) {
      strips.positions[3 * (6 * s + i)] = float(i / 2);
      strips.positions[3 * (6 * s + i) + 1] = float(i % 2) + 10.0f * s;
    }
    const uint32_t o = 6 * s;
    const uint32_t up[12] = {o, o + 2, o + 1, o + 1, o + 2, o + 3, o + 2, o + 4, o + 3, o + 3, o + 4, o + 5};
    std::copy(up, up + 12, &strips.indices[12 * s]);
  }
  for (uint32_t t : {1u, 2u, 4u, 7u})  // reverse some: seed 4 faces -z
    std::swap(strips.indices[3 * t], strips.indices[3 * t + 1]);
  const auto result = RunBothWays(strips, RepairSurface);
  EXPECT_TRUE(result.changed);
  for (size_t t = 0; t < 8; ++t) {
    float n[3];
    Winding(result.mesh, t, n);
    EXPECT_EQ(n[2] > 0, t < 4) << "triangle " << t;
  }
}

TEST(MeshProcessorRepairTest, KeptNormalsOnTheRightSideStayBitForBit) {
  const Vertex a{{0, 0, 0}, {0.3f, 0.2f, 0.9f}, {0, 0}};
  const Vertex b{{1, 0, 0}, {0.1f, -0.4f, -0.7f}, {0, 0}};
  const Vertex c{{0, 1, 0}, {0.0f, 0.0f, 0.0f}, {0, 0}};
  const TideLinkMesh input = MakeMesh({a, b, c}, {0, 1, 2});
  auto result = RunBothWays(input, RepairSurface);
  EXPECT_EQ(result.mesh.normals, (std::vector<float>{0.3f, 0.2f, 0.9f, -0.1f, 0.4f, 0.7f, 0, 0, 0}));

  repairParams computeNormals = kPerSurfaceRepairParams;
  computeNormals.keepNormals = 0;
  result = RunBothWays(input, [&](TideLinkMesh& mesh) { return repair(mesh, computeNormals); });
  EXPECT_EQ(result.mesh.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1}));
}

TEST(MeshProcessorRepairTest, ManyLeavesGiveTheSameResultWithAnyNumberOfWorkers) {
  // Closed boxes in a row, every other one inward and each with one face reversed.
  const uint32_t boxes = 300;
  TideLinkMesh row = TideLinkMesh::Create(24 * boxes, 36 * boxes, 1);
  for (uint32_t b = 0; b < boxes; ++b) {
    TideLinkMesh box = Box(b % 2 == 1);
    const size_t face = b % 6;
    std::swap(box.indices[6 * face], box.indices[6 * face + 1]);
    for (size_t i = 0; i < 72; ++i)
      row.positions[72 * b + i] = box.positions[i] + (i % 3 == 0 ? 2.0f * b : 0.0f);
    std::copy(box.normals.begin(), box.normals.end(), &row.normals[72 * b]);
    for (size_t i = 0; i < 36; ++i)
      row.indices[36 * b + i] = box.indices[i] + 24 * b;
  }
  repairParams smallLeaves = kDefaultRepairParams;
  smallLeaves.leafCapacity = 32;
  const auto result =
      RunBothWays(row, [&](TideLinkMesh& mesh) { return repair(mesh, smallLeaves); });
  EXPECT_TRUE(result.changed);
  EXPECT_TRUE(SameBits(result.mesh.positions, row.positions));
}

// --- results pinned bit for bit ---------------------------------------------------------------

namespace {

// 400 small boxes (0.01 wide, so that a float step is well below the weld epsilon) in a 20 x 20
// block, three in four inward (so that the solid repair turns the whole mesh), each with one face
// reversed. Corners are moved by 0, 3, 6 or 9 float steps, so that neighbouring copies weld but
// the ends of a chain may not, and which point comes first decides the groups. 1000 corners point
// at exact copies appended at the end, and a few triangles reach past the vertices. 300 fins on
// box edges give edges of three triangles, where the neighbour found first decides how the
// winding spreads.
TideLinkMesh JitteredBoxes() {
  std::mt19937 random(11);
  const uint32_t boxes = 400, copies = 1000, fins = 300, boxVertices = 24 * boxes;
  TideLinkMesh mesh = TideLinkMesh::Create(boxVertices + copies, 36 * boxes + 3 * fins, 1);
  for (uint32_t b = 0; b < boxes; ++b) {
    TideLinkMesh box = Box(random() % 4 != 0);
    const size_t face = random() % 6;
    std::swap(box.indices[6 * face], box.indices[6 * face + 1]);
    const float offset[3] = {float(b % 20) * 0.02f, float(b / 20) * 0.02f, 0.0f};
    for (size_t i = 0; i < 72; ++i) {
      float p = box.positions[i] * 0.01f + offset[i % 3];
      const uint32_t roll = random() % 8;
      const int steps = roll < 4 ? 3 * int(roll) : 0;
      for (int s = 0; s < steps; ++s)
        p = std::nextafter(p, 1.0f);
      mesh.positions[72 * b + i] = p;
      mesh.normals[72 * b + i] = box.normals[i];
    }
    for (size_t i = 0; i < 48; ++i)
      mesh.uvs[48 * b + i] = float(random() % 2) * 0.5f;
    for (size_t i = 0; i < 36; ++i)
      mesh.indices[36 * b + i] =
          random() % 500 == 0 ? boxVertices + copies + 7 : box.indices[i] + 24 * b;
  }
  for (uint32_t f = 0; f < fins; ++f) {
    const uint32_t* edge = &mesh.indices[3 * (random() % (12 * boxes))];
    const bool along = random() % 2 == 0;
    uint32_t* fin = &mesh.indices[36 * boxes + 3 * f];
    fin[0] = along ? edge[0] : edge[1];
    fin[1] = along ? edge[1] : edge[0];
    fin[2] = random() % boxVertices;
  }
  for (uint32_t c = 0; c < copies; ++c) {
    uint32_t& corner = mesh.indices[random() % mesh.indexCount];
    if (corner >= boxVertices)
      continue;
    const uint32_t copy = boxVertices + c;
    std::copy_n(&mesh.positions[3 * size_t(corner)], 3, &mesh.positions[3 * size_t(copy)]);
    std::copy_n(&mesh.normals[3 * size_t(corner)], 3, &mesh.normals[3 * size_t(copy)]);
    std::copy_n(&mesh.uvs[2 * size_t(corner)], 2, &mesh.uvs[2 * size_t(copy)]);
    corner = copy;
  }
  return mesh;
}

// FNV-1a over the result and every array of the mesh.
uint64_t Fingerprint(const RunResult& result) {
  uint64_t hash = 14695981039346656037ull;
  auto add = [&](const void* data, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i)
      hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211ull;
  };
  const TideLinkMesh& mesh = result.mesh;
  add(&result.changed, 1);
  add(&mesh.vertexCount, sizeof(mesh.vertexCount));
  add(mesh.positions.data(), mesh.positions.size() * sizeof(float));
  add(mesh.normals.data(), mesh.normals.size() * sizeof(float));
  add(mesh.uvs.data(), mesh.uvs.size() * sizeof(float));
  add(mesh.indices.data(), mesh.indices.size() * sizeof(uint32_t));
  return hash;
}

}  // namespace

// Which duplicate represents a group, which neighbour a shared edge finds and the order of every
// sum all show in the output; the fingerprints were taken from the straightforward form of each
// step (sorted leaves, stored edge keys), so a faster form has to give the same bits.
TEST(MeshProcessorGoldenTest, JitteredBoxesGiveTheRecordedMeshes) {
  const TideLinkMesh input = JitteredBoxes();
  repairParams smallLeaves = kDefaultRepairParams;
  smallLeaves.leafCapacity = 64;
  smallLeaves.keepNormals = 0;
  const std::pair<const char*, std::function<bool(TideLinkMesh&)>> runs[] = {
      {"optimise", Optimise},
      {"repair", RepairSolid},
      {"per-surface repair", RepairSurface},
      {"repair in small leaves", [&](TideLinkMesh& mesh) { return repair(mesh, smallLeaves); }},
  };
  const uint64_t expected[] = {0x4550d9bba7b37138ull, 0x222e36aa313e3e6bull, 0xc3d5658b5240aafbull,
                               0xa99bb0b38cd0853cull};
  for (size_t r = 0; r < std::size(runs); ++r) {
    const auto result = RunBothWays(input, runs[r].second);
    EXPECT_TRUE(result.changed) << runs[r].first;
    EXPECT_EQ(Fingerprint(result), expected[r])
        << runs[r].first << ": 0x" << std::hex << Fingerprint(result);
  }
}

// --- input that breaks the usual assumptions -----------------------------------------------------

TEST(MeshProcessorBadInputTest, TrianglesReachingPastTheVerticesAreLeftAlone) {
  auto result = RunBothWays(MakeMesh({kA, kB, kC, kA, kB, kC}, {0, 1, 2, 3, 4, 5, 0, 6, 1, 7, 0, 0}),
                            Optimise);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(result.mesh.indices, (std::vector<uint32_t>{0, 1, 2, 0, 1, 2, 0, 6, 1, 7, 0, 0}));

  TideLinkMesh box = Box(true);
  box.indexCount += 6;
  box.indices.insert(box.indices.end(), {0, 1000, 2, 24, 1, 3});
  result = RunBothWays(box, RepairSolid);
  ExpectBoxOutward(result.mesh);
  EXPECT_EQ(std::vector<uint32_t>(result.mesh.indices.end() - 6, result.mesh.indices.end()),
            (std::vector<uint32_t>{0, 1000, 2, 24, 1, 3}));
}

TEST(MeshProcessorBadInputTest, EmptyAndMalformedMeshesAreLeftUntouched) {
  std::vector<TideLinkMesh> meshes = {TideLinkMesh::Create(0, 0, 1), TideLinkMesh::Create(3, 0, 1),
                                      TideLinkMesh::Create(0, 3, 1)};
  meshes[1].positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  meshes[2].indices = {0, 1, 2};
  TideLinkMesh shortPositions = MakeMesh({kA, kB, kC, kA, kB, kC}, {0, 1, 2, 3, 4, 5});
  shortPositions.positions.pop_back();
  TideLinkMesh shortIndices = MakeMesh({kA, kB, kC, kA, kB, kC}, {0, 1, 2, 3, 4, 5});
  shortIndices.indexCount = 9;
  TideLinkMesh hugeUvSets = MakeMesh({kA, kB, kC, kA, kB, kC}, {0, 1, 2, 3, 4, 5});
  hugeUvSets.uvSetCount = uint64_t(1) << 62;
  TideLinkMesh hugeVertexCount = MakeMesh({kA}, {0, 0, 0});
  hugeVertexCount.vertexCount = 0xFFFFFFFFull;
  meshes.insert(meshes.end(), {shortPositions, shortIndices, hugeUvSets, hugeVertexCount});
  for (const TideLinkMesh& input : meshes) {
    for (auto operation : {Optimise, RepairSolid}) {
      const auto result = RunBothWays(input, operation);
      EXPECT_FALSE(result.changed);
      EXPECT_TRUE(SameMesh(result.mesh, input));
    }
  }
}

TEST(MeshProcessorBadInputTest, DegenerateAndPartialTrianglesAreHarmless) {
  // A point, a segment, a collinear triangle and a trailing index pair.
  const Vertex onTheLine{{2, 0, 0}, {0, 0, 1}, {0, 0}};
  const TideLinkMesh input = MakeMesh({kA, kB, onTheLine, kA}, {0, 0, 0, 0, 1, 1, 0, 1, 2, 3, 1});
  for (auto operation : {Optimise, RepairSolid, RepairSurface}) {
    const auto result = RunBothWays(input, operation);
    EXPECT_EQ(result.mesh.indexCount, 11u);
    EXPECT_EQ(result.mesh.indices[9], 3u);
    EXPECT_EQ(result.mesh.indices[10], 1u);
  }
}

TEST(MeshProcessorBadInputTest, NonFinitePositionsDoNotSpoilTheRest) {
  // An inward box plus a stray triangle with an infinite and a NaN corner: the box still turns
  // outward, and identical non-finite vertices still merge.
  TideLinkMesh box = Box(true);
  const float stray[9] = {kInf, 0, 0, 0, kNaN, 0, 0, 0, -kInf};
  box.vertexCount += 3;
  box.indexCount += 3;
  box.positions.insert(box.positions.end(), stray, stray + 9);
  box.normals.resize(3 * box.vertexCount, 0.0f);
  box.uvs.resize(2 * box.vertexCount, 0.0f);
  box.indices.insert(box.indices.end(), {24, 25, 26});
  auto result = RunBothWays(box, RepairSolid);
  ExpectBoxOutward(result.mesh);
  EXPECT_TRUE(SameBits(result.mesh.positions, box.positions));

  const Vertex nan{{kNaN, 1, 2}, {0, 0, 1}, {0, 0}};
  const Vertex inf{{kInf, 1, 2}, {0, 0, 1}, {0, 0}};
  result = RunBothWays(MakeMesh({nan, inf, kC, nan, inf, kC}, {0, 1, 2, 3, 4, 5}), Optimise);
  EXPECT_EQ(result.mesh.vertexCount, 3u);
  EXPECT_EQ(result.mesh.indices, (std::vector<uint32_t>{0, 1, 2, 0, 1, 2}));
}

TEST(MeshProcessorBadInputTest, AMillionIdenticalPointsFinishQuickly) {
  const uint32_t count = 999999;
  TideLinkMesh cloud = TideLinkMesh::Create(count, count, 1);
  for (uint32_t v = 0; v < count; ++v) {
    cloud.positions[3 * v] = 1.5f;
    cloud.normals[3 * v + 2] = 1.0f;
    cloud.indices[v] = v;
  }
  TideLinkMesh optimised = cloud;
  EXPECT_TRUE(optimise(optimised));
  EXPECT_EQ(optimised.vertexCount, 1u);
  EXPECT_TRUE(std::all_of(optimised.indices.begin(), optimised.indices.end(),
                          [](uint32_t i) { return i == 0; }));

  // All degenerate: nothing to turn and no normal to take. No volume counts as inward.
  TideLinkMesh repaired = cloud;
  EXPECT_FALSE(repair(repaired, kDefaultRepairParams));
  EXPECT_TRUE(SameBits(repaired.positions, cloud.positions));
  EXPECT_TRUE(SameBits(repaired.normals, cloud.normals));
  for (uint32_t t = 0; t < count / 3; ++t)
    ASSERT_EQ(repaired.indices[3 * t], 3 * t + 1);
}

TEST(MeshProcessorBadInputTest, RandomMeshesKeepTheirInvariants) {
  std::mt19937 random(7);
  const float specials[] = {0.0f, -0.0f, 1.0f, 1e-8f, kInf, -kInf, kNaN, 3e38f, -3e38f};
  for (int round = 0; round < 150; ++round) {
    const uint32_t vertices = random() % 40;
    const uint32_t indexCount = random() % 60;
    TideLinkMesh mesh = TideLinkMesh::Create(vertices, indexCount, 1);
    for (float& value : mesh.positions)
      value = random() % 4 == 0 ? specials[random() % 9] : float(random() % 5) * 0.5f;
    for (float& value : mesh.normals)
      value = float(int(random() % 3) - 1);
    for (uint32_t& index : mesh.indices)
      index = random() % (vertices + 3);  // some out of range
    const auto optimised = RunBothWays(mesh, Optimise);
    ASSERT_EQ(optimised.mesh.indexCount, mesh.indexCount);
    for (size_t t = 0; t + 3 <= indexCount; t += 3) {
      const bool valid = std::all_of(&mesh.indices[t], &mesh.indices[t + 3],
                                     [&](uint32_t i) { return i < vertices; });
      for (size_t k = t; k < t + 3; ++k) {
        if (!valid) {
          EXPECT_EQ(optimised.mesh.indices[k], mesh.indices[k]);
          continue;
        }
        ASSERT_LT(optimised.mesh.indices[k], optimised.mesh.vertexCount);
        const auto before = CornerRecord(mesh, mesh.indices[k]);
        const auto after = CornerRecord(optimised.mesh, optimised.mesh.indices[k]);
        EXPECT_EQ(std::memcmp(before.data(), after.data(), before.size() * sizeof(float)), 0);
      }
    }
    for (auto operation : {RepairSolid, RepairSurface}) {
      const auto repaired = RunBothWays(mesh, operation);
      EXPECT_TRUE(SameBits(repaired.mesh.positions, mesh.positions));
      for (size_t t = 0; t + 3 <= indexCount; t += 3) {
        std::vector<uint32_t> before(&mesh.indices[t], &mesh.indices[t + 3]);
        std::vector<uint32_t> after(&repaired.mesh.indices[t], &repaired.mesh.indices[t + 3]);
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(before, after);
      }
    }
  }
}
