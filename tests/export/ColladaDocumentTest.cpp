// Whole COLLADA documents of one small drawing, in every combination of marker nodes and
// textures, compared byte for byte with documents written out by hand under expected/.
#include <sstream>

#include "export/ColladaWriter.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "tests/export/ExportTestSupport.h"
#include "transport/TideLinkDocumentImpl.h"
#include "transport/TideLinkSurfaceImpl.h"

namespace {

// One triangle from link-space corners, normals and texture coordinates, indices as given.
TideLinkMesh Triangle(const float (&positions)[9], const float (&normal)[3], const float (&uvs)[6],
                      const uint32_t (&indices)[3]) {
  TideLinkMesh mesh = TideLinkMesh::Create(3, 3, 1);
  for (int vertex = 0; vertex < 3; ++vertex) {
    for (int axis = 0; axis < 3; ++axis) {
      mesh.positions[3 * vertex + axis] = positions[3 * vertex + axis];
      mesh.normals[3 * vertex + axis] = normal[axis];
    }
    mesh.uvs[2 * vertex] = uvs[2 * vertex];
    mesh.uvs[2 * vertex + 1] = uvs[2 * vertex + 1];
    mesh.indices[vertex] = indices[vertex];
  }
  return mesh;
}

// Two placed instances that are turned, moved and scaled, and one entry that is not a matrix.
std::vector<std::vector<float>> PlacedInstances() {
  const std::vector<float> turned{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 2.5f, -1.25f, 0.75f, 1};
  const std::vector<float> scaled{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, -3, 4, 5, 1};
  return {turned, {1, 0, 0}, scaled};
}

std::string Hex(unsigned long value) { return (std::ostringstream() << std::uppercase << std::hex << value).str(); }

// The text between the first `open` and the next `close`; empty when either is missing.
std::string TextAfter(const std::string& text, const std::string& open, char close) {
  const size_t start = text.find(open);
  if (start == std::string::npos) return "";
  const size_t end = text.find(close, start + open.size());
  return end == std::string::npos ? "" : text.substr(start + open.size(), end - start - open.size());
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

struct Combination {
  const char* expected;  // file under expected/
  bool exportNodes;
  bool textured;
};

void PrintTo(const Combination& combination, std::ostream* out) { *out << combination.expected; }

class ColladaDocumentTest : public TestEnvironment, public testing::WithParamInterface<Combination> {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    document_ = TideLinkDocumentImpl::Create(u"tldocument" + platform::Utf16FromUtf8(std::to_string(platform::GetCurrentProcessId())), 5000);
    ASSERT_TRUE(document_->IsOpen());
  }
  void TearDown() override {
    surfaces_.clear();
    document_.reset();
    TestEnvironment::TearDown();
  }

  TideLinkSurfaceImpl& Surface(const std::u16string& name) {
    surfaces_.push_back(document_->CreateSurface(name, true));
    return dynamic_cast<TideLinkSurfaceImpl&>(*surfaces_.back());
  }

  // A glass wall with a library id, and a brick surface that carries an image when `textured`.
  void FillDrawing(bool textured) {
    TideLinkSurfaceImpl& wall = Surface(u"Wall & Co");
    wall.SetSurfaceType(2);
    wall.SetColor(0x336699);
    wall.SetP2(12.25f);
    wall.SetP5(0.5f);
    wall.SetLibraryId(u"LIB<7>");
    ASSERT_TRUE(wall.SetMesh(Triangle({1.5f, 2.25f, -3, 0, 0, 0, 0.125f, 4, 2}, {0, 0.6f, 0.8f},
                                      {0.25f, 0.25f, 1, 0, 0, 1}, {2, 0, 1})));
    TideLinkSurfaceImpl& brick = Surface(u"Brick");
    brick.SetSurfaceType(4);
    brick.SetColor(0xFF8000);
    brick.SetP2(8);
    brick.SetP5(1);
    if (textured) {
      const uint8_t pixels[2 * 2 * 3] = {200, 10, 10, 10, 200, 10, 10, 10, 200, 90, 90, 90};
      ASSERT_TRUE(brick.SetTextureImage(2, 2, pixels, false));
    }
    ASSERT_TRUE(brick.SetMesh(Triangle({-1, 0, 0, 0, 0.5f, 0, 0, 0, -0.25f}, {0, 0, -1}, {0, 0, 0.5f, 0, 0, 0.5f},
                                       {0, 1, 2})));
  }

  std::shared_ptr<TideLinkDocumentImpl> document_;
  std::vector<std::shared_ptr<TideLinkSurface>> surfaces_;
};

TEST_P(ColladaDocumentTest, TheWholeDocumentIsTheOneWrittenOutByHand) {
  const Combination combination = GetParam();
  FillDrawing(combination.textured);
  const std::filesystem::path target = scratch() / "house.dae";
  ColladaExportOptions options;
  options.path = platform::Utf16FromUtf8(target.string());
  options.exportNodes = combination.exportNodes;
  options.generatorName = u"OmbrelTideLinkForVectorworks v3.60.92";
  options.nodeTransforms = PlacedInstances();
  ColladaWriter writer(options);
  ASSERT_EQ(document_->ExportCollada(writer), 0);

  const std::string file = MaskCreated(ReadFile(target));
  // The node numbers come from a process-wide counter: the two surfaces take two consecutive ones.
  const std::string first = TextAfter(file, "<geometry id=\"", '"');
  ASSERT_FALSE(first.empty());
  const unsigned long number = std::stoul(first, nullptr, 16);
  std::string expected = ReadFile(std::filesystem::path(EXPECTED_DOCUMENTS_DIR) / combination.expected);
  expected = ReplaceAll(ReplaceAll(expected, "@1@", Hex(number)), "@2@", Hex(number + 1));
  if (combination.textured) {
    // An image without alpha is written as JPEG, named by its eight-digit texture number.
    const std::string image = TextAfter(file, "house_Textures/", '<');
    EXPECT_EQ(image.size(), 12u) << image;
    EXPECT_TRUE(image.ends_with(".jpg")) << image;
    EXPECT_TRUE(std::filesystem::is_regular_file(scratch() / "house_Textures" / image));
    expected = ReplaceAll(expected, "@IMAGE@", image);
  }
  EXPECT_EQ(file, WithCrLf(expected));
  const long markers = combination.exportNodes ? 1 : 0;
  ExpectReadersAccept(target, 2 + markers, 2 + markers, combination.textured ? 1 : 0, 1 + 2 * markers);
}

INSTANTIATE_TEST_SUITE_P(EveryOptionCombination, ColladaDocumentTest,
                         testing::Values(Combination{"plain.dae", false, false}, Combination{"textures.dae", false, true},
                                         Combination{"nodes.dae", true, false},
                                         Combination{"nodes-textures.dae", true, true}),
                         [](const testing::TestParamInfo<Combination>& info) {
                           return std::string(info.param.exportNodes ? "Nodes" : "NoNodes") +
                                  (info.param.textured ? "Textured" : "Untextured");
                         });

}  // namespace
