// A surface prepared for the COLLADA file: its texts, counts and number lists.
#include <cstdio>

#include "transport/ExportMeshText.h"
#include "transport/TextureSlot.h"
#include "transport/TideLinkSurfaceImpl.h"
#include "tests/transport/TransportTestSupport.h"

namespace {

class ExportNodeTest : public TransportTest {
protected:
  void SetUp() override {
    TransportTest::SetUp();
    document_ = Open();
  }
  void TearDown() override {
    document_.reset();
    TransportTest::TearDown();
  }
  TideLinkSurfaceImpl* Surface(const std::u16string& name) {
    return dynamic_cast<TideLinkSurfaceImpl*>(document_->CreateSurface(name, true).get());
  }

  std::shared_ptr<TideLinkDocumentImpl> document_;
};

TEST_F(ExportNodeTest, SurfaceTextsAreEscapedUtf8AndItsMaterialIsCarriedOver) {
  TideLinkSurfaceImpl* surface = Surface(u"Fen\u00eatre \"A&B\"\u0001");
  surface->SetLibraryId(u"<lib>");
  surface->SetSurfaceType(2);
  surface->SetColor(0x123456);
  surface->SetP2(24.0f);
  surface->SetP5(0.25f);
  ASSERT_TRUE(surface->SetMesh(TideLinkMesh::Create(3, 3, 1)));

  const std::unique_ptr<ExportNode> node = surface->BuildExportNode(false);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->id, "");  // numbered by the export
  EXPECT_EQ(node->name, "Fen\xc3\xaatre &quot;A&amp;B&quot;\xef\xbf\xbd");
  EXPECT_EQ(node->libraryId, "&lt;lib&gt;");
  EXPECT_EQ(node->surfaceType, "glass");
  EXPECT_EQ(node->diffuseColor, 0x123456u);
  EXPECT_EQ(node->specularColor, 0xFFAAAAAAu);
  EXPECT_EQ(node->shininess, 24.0f);
  EXPECT_EQ(node->opacity, 0.25f);
  EXPECT_EQ(node->texture, nullptr);

  for (const auto& [code, name] : std::vector<std::pair<uint32_t, std::string>>{
           {0, ""}, {1, "water"}, {9, "waterfall"}, {10, ""}, {0xFFFFFFFF, ""}}) {
    surface->SetSurfaceType(code);
    EXPECT_EQ(surface->BuildExportNode(false)->surfaceType, name) << code;
  }

  const uint8_t pixel[4] = {};
  surface->SetTextureImage(1, 1, pixel, true);
  EXPECT_NE(surface->BuildExportNode(false)->texture, nullptr);
}

TEST_F(ExportNodeTest, SurfacesWithoutVerticesGiveNoNode) {
  TideLinkSurfaceImpl* surface = Surface(u"Empty");
  EXPECT_EQ(surface->BuildExportNode(false), nullptr);
  ASSERT_TRUE(surface->SetMesh(TideLinkMesh::Create(0, 0, 1)));
  EXPECT_EQ(surface->BuildExportNode(false), nullptr);
  EXPECT_EQ(surface->BuildExportNode(true), nullptr);
}

TEST_F(ExportNodeTest, NumberListsSwapTheUpAxisAndFlipTextureRows) {
  TideLinkMesh mesh = TideLinkMesh::Create(2, 6, 2);
  mesh.positions = {1.0f, 2.0f, 3.0f, -0.0004f, 1e6f, 2.0005f};
  mesh.normals = {0.0f, 0.0f, 1.0f, 0.6f, -0.8f, 0.0f};
  // Two sets side by side per vertex; only the first is written.
  mesh.uvs = {0.5f, 0.25f, 9.0f, 9.0f, 1.0f, -1.0f, 9.0f, 9.0f};
  mesh.indices = {0, 1, 1, 4294967295u, 0, 7};
  ExportNode node;
  FormatExportMeshText(mesh, node);
  EXPECT_EQ(node.vertexCount, 2u);
  EXPECT_EQ(node.indexCount, 6u);
  EXPECT_EQ(node.positionsText, "1.000 3.000 2.000 -0.000 2.000 1000000.000 ");
  EXPECT_EQ(node.normalsText, "0.000 1.000 0.000 0.600 0.000 -0.800 ");
  EXPECT_EQ(node.uvText, "0.500 0.750 1.000 2.000 ");
  EXPECT_EQ(node.indexText, "0 1 1 4294967295 0 7 ");

  // Without texture coordinates every vertex maps to the texture's top-left corner.
  TideLinkMesh bare = TideLinkMesh::Create(1, 0, 0);
  FormatExportMeshText(bare, node);
  EXPECT_EQ(node.uvText, "0.000 1.000 ");
  EXPECT_EQ(node.indexText, "");

  // A normal repeats the text of an equal one before it; a zero of the other sign is not equal.
  TideLinkMesh flat = TideLinkMesh::Create(3, 0, 0);
  flat.normals = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, -0.0f, 0.0f, 1.0f};
  FormatExportMeshText(flat, node);
  EXPECT_EQ(node.normalsText, "0.000 1.000 0.000 0.000 1.000 0.000 -0.000 1.000 0.000 ");
}

TEST_F(ExportNodeTest, LongNumberListsLoseNothingBetweenTheirChunks) {
  constexpr uint32_t kVertices = 5000;  // far more text than one chunk holds
  TideLinkMesh mesh = TideLinkMesh::Create(kVertices, kVertices, 1);
  std::string positions, indices;
  char text[64];
  for (uint32_t vertex = 0; vertex < kVertices; ++vertex) {
    const float value = 1000.0f + 0.25f * static_cast<float>(vertex);
    mesh.positions[3 * vertex] = value;
    mesh.indices[vertex] = vertex * 977u;
    positions += std::string(text, std::snprintf(text, sizeof(text), "%0.3f 0.000 0.000 ", value));
    indices += std::to_string(vertex * 977u) + ' ';
  }
  ExportNode node;
  FormatExportMeshText(mesh, node);
  EXPECT_EQ(node.positionsText, positions);
  EXPECT_EQ(node.indexText, indices);
}

TEST_F(ExportNodeTest, OptimizedNodeIsWeldedWhileTheSurfaceKeepsItsMesh) {
  TideLinkSurfaceImpl* surface = Surface(u"Quad");
  TideLinkMesh quad = TideLinkMesh::Create(6, 6, 1);  // two triangles sharing two corners
  const float corners[6][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}};
  for (int vertex = 0; vertex < 6; ++vertex) {
    std::copy(corners[vertex], corners[vertex] + 3, quad.positions.begin() + 3 * vertex);
    quad.indices[vertex] = vertex;
  }
  ASSERT_TRUE(surface->SetMesh(quad));
  const auto welded = surface->BuildExportNode(true);
  EXPECT_EQ(welded->vertexCount, 4u);
  EXPECT_EQ(welded->indexCount, 6u);
  EXPECT_EQ(surface->BuildExportNode(false)->vertexCount, 6u);
  TideLinkMesh kept;
  surface->GetMesh(kept);
  EXPECT_EQ(kept.vertexCount, 6u);
}

}  // namespace
