// Host meshes and transforms in link coordinates, geometry post-processing and the assembly of a
// material's combined mesh.
#include <algorithm>
#include <cmath>
#include <limits>
#include <gtest/gtest.h>

#include "scene/MeshBuilder.h"
#include "tests/scene/SceneTestSupport.h"

namespace {

std::vector<float> Floats(const std::vector<float>& values, size_t from, size_t count) {
  return {values.begin() + from, values.begin() + from + count};
}

// Millimetres become metres in single precision, a few units in the last place off.
void ExpectNear(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_FLOAT_EQ(actual[i], expected[i]) << i;
}

Transform ConvertedTranslation(double x, double y, double z) {
  const double matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
  return convertTransform(matrix);
}

MeshGatherRecord Record(const TideLinkMesh& mesh, const Transform& transform, bool twoSided,
                        bool flip) {
  return {twoSided, flip, &transform, {&mesh}};
}

TEST(ConvertMesh, ExchangesTheSecondAndThirdAxesAndScalesLengthsOnly) {
  HostMeshData host;
  host.positions = {{1000, 2000, 3000}, {0, 0, 0}, {0, 0, 0}};
  host.normals = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}};
  host.triangles = {{0, 1, 2}};
  const TideLinkMesh mesh = convertMesh(host.View());
  EXPECT_EQ(mesh.vertexCount, 3u);
  EXPECT_EQ(mesh.indexCount, 3u);
  EXPECT_EQ(mesh.uvSetCount, 1u);
  ExpectNear(Floats(mesh.positions, 0, 3), {1.0f, 3.0f, 2.0f});
  EXPECT_EQ(Floats(mesh.normals, 0, 9),
            (std::vector<float>{0, 1, 0, 1, 0, 0, 0, 0, 1}));
  EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2}));
}

TEST(ConvertMesh, VerticesBeyondTheFirstUvChannelGetTheFallbackUv) {
  HostMeshData host;
  host.positions.assign(4, {0, 0, 0});
  host.normals.assign(4, {0, 0, 1});
  host.uvChannels = {{{0.25, 0.5}, {0.75, 1.0}}, {{9, 9}, {9, 9}, {9, 9}, {9, 9}}};
  host.triangles = {{0, 1, 2}, {0, 2, 3}};
  EXPECT_EQ(convertMesh(host.View()).uvs,
            (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f}));
  host.uvChannels.clear();
  EXPECT_EQ(convertMesh(host.View()).uvs, (std::vector<float>{0, 1, 0, 1, 0, 1, 0, 1}));
}

TEST(ConvertMesh, DropsTrianglesThatIndexPastTheVertices) {
  HostMeshData host = GroundTriangle();
  host.triangles = {{0, 1, 3}, {2, 1, 0}, {0xFFFFFFFF, 0, 1}, {1, 2, 0}};
  const TideLinkMesh mesh = convertMesh(host.View());
  EXPECT_EQ(mesh.indexCount, 6u);
  EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{2, 1, 0, 1, 2, 0}));

  // A count without data is no data: no vertices, so every triangle goes.
  VGS::HostMesh view = host.View();
  view.positions.data = nullptr;
  view.uvChannels.data = nullptr;
  EXPECT_EQ(convertMesh(view).indexCount, 0u);
}

bool AllFinite(const std::vector<float>& values) {
  return std::all_of(values.begin(), values.end(), [](float value) { return std::isfinite(value); });
}

TEST(ConvertMesh, LeavesOutTrianglesWithNonFiniteCornersAndZeroesOtherNonFiniteNumbers) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  HostMeshData host;
  host.positions = {{0, 0, 0}, {1000, 0, 0}, {0, 1000, 0}, {infinity, 0, 0}, {0, nan, 0}, {1e300, 0, 0}};
  host.normals = {{nan, 0, 1}, {0, infinity, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  host.uvChannels = {{{nan, 0.5}, {1, -infinity}, {1, 1}, {0, 0}, {0, 0}, {0, 0}}};
  // Only the first triangle has finite corners; 1e300 mm overflows a float.
  host.triangles = {{3, 1, 2}, {0, 1, 2}, {0, 4, 2}, {5, 0, 1}, {1, 0, 3}};
  const TideLinkMesh mesh = convertMesh(host.View());
  EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(mesh.indexCount, 3u);
  EXPECT_EQ(mesh.vertexCount, 6u);
  EXPECT_TRUE(AllFinite(mesh.positions));
  EXPECT_EQ(Floats(mesh.normals, 0, 6), (std::vector<float>{0, 1, 0, 0, 1, 0}));
  EXPECT_EQ(Floats(mesh.uvs, 0, 4), (std::vector<float>{0, 0.5f, 1, 0}));
  EXPECT_TRUE(AllFinite(mesh.uvs));
}

TEST(ConvertTransform, ExchangesAxesScalesTheTranslationAndDividesByTheWeight) {
  const Transform moved = ConvertedTranslation(500, 0, 1000);
  EXPECT_EQ(Floats({moved.begin(), moved.end()}, 12, 4),
            (std::vector<float>{0.5f, 1.0f, 0.0f, 1.0f}));

  // Host rows and columns 1 and 2 trade places.
  const double host[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 20, 30, 2};
  const Transform converted = convertTransform(host);
  const std::vector<float> expected = {0.5f, 1.5f, 1.0f, 0.0f,   3.5f,  4.5f,  4.0f, 0.0f,
                                       2.0f, 3.0f, 2.5f, 0.0f, 0.005f, 0.015f, 0.01f, 1.0f};
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(converted[i], expected[i]) << i;

  const double weightless[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0};
  EXPECT_EQ(convertTransform(weightless)[0], 2.0f);
  EXPECT_EQ(convertTransform(weightless)[15], 1.0f);
}

TEST(ConvertTransform, MirroredAndIdentityAreReadOffTheConvertedMatrix) {
  const double mirror[16] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_TRUE(mirrored(convertTransform(mirror)));
  // The axis exchange itself is not a mirror: the host identity stays the identity.
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_FALSE(mirrored(convertTransform(identity)));
  EXPECT_TRUE(isIdentity(convertTransform(identity)));
  // The tolerance itself still counts as the identity, one float past it does not.
  const float tolerance = 1.1920929e-7f;
  Transform nearly = kIdentityTransform;
  nearly[13] = tolerance;
  EXPECT_TRUE(isIdentity(nearly));
  nearly[13] = std::nextafter(tolerance, 1.0f);
  EXPECT_FALSE(isIdentity(nearly));
  nearly = kIdentityTransform;
  nearly[10] = 1.0f + tolerance;
  EXPECT_TRUE(isIdentity(nearly));
  nearly[10] = std::nextafter(1.0f + tolerance, 2.0f);
  EXPECT_FALSE(isIdentity(nearly));
  nearly[13] = std::nanf("");
  EXPECT_FALSE(isIdentity(nearly));
}

TEST(AssembleMesh, TwoSidedSurfaceAddsAReversedBackWithNegatedNormals) {
  const TideLinkMesh triangle = convertMesh(GroundTriangle().View());
  const Transform moved = ConvertedTranslation(1000, 0, 0);
  const TideLinkMesh out = assembleMesh({Record(triangle, moved, true, false)}, 6, 6);
  EXPECT_EQ(out.indices, (std::vector<uint32_t>{0, 1, 2, 5, 4, 3}));
  EXPECT_EQ(Floats(out.positions, 3, 3), (std::vector<float>{2.0f, 0.0f, 0.0f}));
  EXPECT_EQ(Floats(out.positions, 12, 3), (std::vector<float>{2.0f, 0.0f, 0.0f}));
  EXPECT_EQ(Floats(out.normals, 0, 3), (std::vector<float>{0, 1, 0}));
  EXPECT_EQ(Floats(out.normals, 9, 3), (std::vector<float>{-0.0f, -1, -0.0f}));
  EXPECT_EQ(Floats(out.uvs, 6, 6), Floats(out.uvs, 0, 6));

  const TideLinkMesh flipped = assembleMesh({Record(triangle, moved, true, true)}, 6, 6);
  EXPECT_EQ(flipped.indices, (std::vector<uint32_t>{2, 1, 0, 3, 4, 5}));
}

TEST(AssembleMesh, NormalsFollowTheInverseTransposeAndRecordsFollowEachOther) {
  HostMeshData slanted;
  slanted.positions = {{0, 0, 0}, {1000, 0, 0}, {0, 1000, 0}};
  slanted.normals.assign(3, {1, 0, 1});  // host (1, 0, 1) is link (1, 1, 0)
  slanted.triangles = {{0, 1, 2}};
  const TideLinkMesh mesh = convertMesh(slanted.View());
  // Stretch the link's x by 2: the normal's x shrinks by 2 (and is not renormalised).
  const double stretch[16] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const Transform stretched = convertTransform(stretch);
  const Transform moved = ConvertedTranslation(0, 0, 3000);
  const TideLinkMesh out =
      assembleMesh({Record(mesh, stretched, false, false), Record(mesh, moved, false, false)}, 6, 6);
  EXPECT_EQ(Floats(out.normals, 0, 3), (std::vector<float>{0.5f, 1.0f, 0.0f}));
  EXPECT_EQ(Floats(out.positions, 3, 3), (std::vector<float>{2.0f, 0.0f, 0.0f}));
  ExpectNear(Floats(out.positions, 9, 3), {0.0f, 3.0f, 0.0f});
  EXPECT_EQ(out.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));

  // A flattening transform has no inverse: normals stay finite.
  const double flatten[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const Transform flat = convertTransform(flatten);
  EXPECT_FALSE(mirrored(flat));  // a zero determinant is not below zero
  const TideLinkMesh squashed = assembleMesh({Record(mesh, flat, false, false)}, 3, 3);
  for (float component : squashed.normals) EXPECT_TRUE(std::isfinite(component));
  // Its cofactors still carry the one direction that survives, unscaled: link (1, 1, 0) keeps y.
  EXPECT_EQ(Floats(squashed.normals, 0, 3), (std::vector<float>{0, 1, 0}));
}

// Rotates (x and y trade places), shears (y drags z), mirrors (determinant -2) and translates at
// once, so that a transposed matrix, a normal matrix without its transpose or a dropped
// translation each give other numbers.
constexpr Transform kSkewed{0, 2, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0, 3, 5, 7, 1};

TEST(AssembleMesh, PositionsNormalsAndUvsUnderATransformThatRotatesShearsMirrorsAndMoves) {
  TideLinkMesh unit = TideLinkMesh::Create(3, 3, 1);
  unit.positions = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  unit.normals = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  unit.uvs = {0.125f, 0.25f, 0.5f, 0.875f, 0.75f, 0.375f};
  unit.indices = {0, 1, 2};
  EXPECT_TRUE(mirrored(kSkewed));
  const TideLinkMesh out = assembleMesh({Record(unit, kSkewed, true, false)}, 6, 6);
  const std::vector<float> positions = {3, 7, 7, 4, 5, 8, 3, 5, 8};
  EXPECT_EQ(Floats(out.positions, 0, 9), positions);
  EXPECT_EQ(Floats(out.positions, 9, 9), positions);
  // The inverse of the 3×3 part is ((0, 1, -1), (0.5, 0, 0), (0, 0, 1)); a normal takes its columns.
  EXPECT_EQ(Floats(out.normals, 0, 9), (std::vector<float>{0, 0.5f, 0, 1, 0, 0, -1, 0, 1}));
  EXPECT_EQ(Floats(out.normals, 9, 9), (std::vector<float>{-0.0f, -0.5f, -0.0f, -1, -0.0f, -0.0f, 1, -0.0f, -1}));
  EXPECT_EQ(Floats(out.uvs, 0, 6), unit.uvs);
  EXPECT_EQ(Floats(out.uvs, 6, 6), unit.uvs);
}

TEST(AssembleMesh, TrianglesThatAreNotFiniteInWorldSpaceAreLeftOut) {
  const TideLinkMesh triangle = convertMesh(GroundTriangle().View());
  const TideLinkMesh distant = convertMesh(GroundTriangle(1e37).View());
  const Transform moved = ConvertedTranslation(1000, 0, 0);
  // A finite point under an infinite matrix, and a finite point and matrix whose product overflows.
  const double infinite[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0,
                               std::numeric_limits<double>::infinity(), 0, 0, 1};
  const double enlarge[16] = {1e5, 0, 0, 0, 0, 1e5, 0, 0, 0, 0, 1e5, 0, 0, 0, 0, 1};
  const Transform escaping = convertTransform(infinite);
  const Transform enlarged = convertTransform(enlarge);
  const TideLinkMesh out = assembleMesh({Record(triangle, escaping, false, false),
                                         Record(triangle, moved, true, false),
                                         Record(distant, enlarged, false, false)},
                                        12, 12);
  EXPECT_EQ(out.indices, (std::vector<uint32_t>{3, 4, 5, 8, 7, 6}));
  EXPECT_EQ(out.indexCount, 6u);
  EXPECT_TRUE(AllFinite(out.positions));
  EXPECT_TRUE(AllFinite(out.normals));
  EXPECT_EQ(Floats(out.positions, 12, 3), (std::vector<float>{2.0f, 0.0f, 0.0f}));
}

TEST(AssembleMesh, AnEmptySurfaceBesideAFilledOneAddsNothing) {
  const TideLinkMesh triangle = convertMesh(GroundTriangle().View());
  const TideLinkMesh empty;  // no storage at all
  const Transform moved = ConvertedTranslation(1000, 0, 0);
  const MeshGatherRecord record{true, false, &moved, {&empty, &triangle, &empty}};
  const TideLinkMesh out = assembleMesh({record}, 6, 6);
  const TideLinkMesh alone = assembleMesh({Record(triangle, moved, true, false)}, 6, 6);
  EXPECT_EQ(out.indices, alone.indices);
  EXPECT_EQ(out.positions, alone.positions);
  EXPECT_EQ(out.uvs, alone.uvs);
}

HostMeshData Quad(double z, bool inward) {
  HostMeshData quad;
  quad.positions = {{0, 0, z}, {1000, 0, z}, {1000, 1000, z}, {0, 1000, z}};
  quad.normals.assign(4, {0, 0, 1});
  quad.uvChannels = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
  quad.triangles = inward ? std::vector<VGS::HostTriangle>{{0, 2, 1}, {0, 3, 2}}
                          : std::vector<VGS::HostTriangle>{{0, 1, 2}, {0, 2, 3}};
  return quad;
}

bool HasDirectedEdge(const TideLinkMesh& mesh, uint32_t from, uint32_t to) {
  for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
    for (size_t k = 0; k < 3; ++k) {
      if (mesh.indices[t + k] == from && mesh.indices[t + (k + 1) % 3] == to) return true;
    }
  }
  return false;
}

TEST(PostProcess, JointRepairOfASolidKeepsEachSurfacesCountsPositionsAndUvs) {
  // Two halves of one flat plate wound against each other: repaired as one mesh, the second
  // surface is turned to agree with the first.
  HostMeshData first = Quad(0, false);
  HostMeshData second = Quad(0, true);
  for (auto& p : second.positions) p.x += 1000;
  std::vector<TideLinkMesh> surfaces = {convertMesh(first.View()), convertMesh(second.View())};
  const std::vector<TideLinkMesh> before = surfaces;
  postProcess(surfaces, true, {true, false});
  ASSERT_EQ(surfaces.size(), 2u);
  for (size_t s = 0; s < 2; ++s) {
    EXPECT_EQ(surfaces[s].vertexCount, 4u);
    EXPECT_EQ(surfaces[s].indexCount, 6u);
    EXPECT_EQ(surfaces[s].positions, before[s].positions);
    EXPECT_EQ(surfaces[s].uvs, before[s].uvs);
    for (uint32_t index : surfaces[s].indices) EXPECT_LT(index, 4u);
  }
  // The shared edge is (1, 2) in the first surface and (0, 3) in the second; agreeing winding runs
  // it one way in one surface and the other way in the other.
  const bool firstForward = HasDirectedEdge(surfaces[0], 1, 2);
  EXPECT_NE(firstForward, HasDirectedEdge(surfaces[0], 2, 1));
  EXPECT_EQ(HasDirectedEdge(surfaces[1], 3, 0), firstForward);
  EXPECT_EQ(HasDirectedEdge(surfaces[1], 0, 3), !firstForward);
}

// A tetrahedron on the axes wound inward, its triangles split over `surfaces` meshes that each
// carry all four corners.
std::vector<TideLinkMesh> InwardTetrahedron(size_t surfaces) {
  const std::vector<uint32_t> inward = {2, 0, 1, 1, 0, 3, 3, 0, 2, 2, 1, 3};
  const size_t perSurface = inward.size() / surfaces;
  std::vector<TideLinkMesh> meshes;
  for (size_t s = 0; s < surfaces; ++s) {
    TideLinkMesh mesh = TideLinkMesh::Create(4, perSurface, 1);
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(inward.begin() + s * perSurface, inward.begin() + (s + 1) * perSurface, mesh.indices.begin());
    meshes.push_back(mesh);
  }
  return meshes;
}

// Six times the volume the triangles enclose, positive when they face outward.
float SignedVolume(const std::vector<TideLinkMesh>& surfaces) {
  float volume = 0;
  for (const TideLinkMesh& mesh : surfaces) {
    for (size_t t = 0; t < mesh.indexCount; t += 3) {
      const float* p[3];
      for (int k = 0; k < 3; ++k) p[k] = &mesh.positions[3 * size_t(mesh.indices[t + k])];
      volume += p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) -
                p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
                p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0]);
    }
  }
  return volume;
}

TEST(PostProcess, OnlyASolidIsTurnedOutwardWhetherItHasOneSurfaceOrSeveral) {
  for (const size_t count : {size_t{1}, size_t{2}}) {
    std::vector<TideLinkMesh> solid = InwardTetrahedron(count);
    postProcess(solid, true, {true, false});
    EXPECT_GT(SignedVolume(solid), 0.0f) << count;
    std::vector<TideLinkMesh> open = InwardTetrahedron(count);
    postProcess(open, false, {true, false});
    EXPECT_LT(SignedVolume(open), 0.0f) << count;
  }
}

TEST(PostProcess, OptimiseRunsWithOrWithoutRepair) {
  // A quad whose two triangles carry their own copies of the diagonal's vertices.
  HostMeshData quad;
  quad.positions = {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 0, 0}, {1000, 1000, 0}, {0, 1000, 0}};
  quad.normals.assign(6, {0, 0, 1});
  quad.triangles = {{0, 1, 2}, {3, 4, 5}};
  for (const bool repair : {false, true}) {
    std::vector<TideLinkMesh> surfaces = {convertMesh(quad.View())};
    postProcess(surfaces, false, {repair, true});
    EXPECT_EQ(surfaces[0].vertexCount, 4u) << repair;
    std::vector<TideLinkMesh> kept = {convertMesh(quad.View())};
    postProcess(kept, false, {repair, false});
    EXPECT_EQ(kept[0].vertexCount, 6u) << repair;
  }
}

}  // namespace
