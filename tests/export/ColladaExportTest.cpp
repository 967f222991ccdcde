// A link document written through the COLLADA writer: which surfaces become nodes, their order
// and numbers, the results, and the same bytes from one process to the next.
#include <cstdlib>
#include <regex>

#include "export/ColladaWriter.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "tests/export/ExportTestSupport.h"
#include "transport/TideLinkDocumentImpl.h"
#include "transport/TideLinkSurfaceImpl.h"

namespace {

constexpr const char* kSampleTarget = "TIDELINK_EXPORT_SAMPLE_TARGET";

// `count` separate triangles fanned along x, with texture coordinates.
TideLinkMesh Triangles(uint32_t count, float offset) {
  TideLinkMesh mesh = TideLinkMesh::Create(3 * count, 3 * count, 1);
  for (uint32_t vertex = 0; vertex < 3 * count; ++vertex) {
    mesh.positions[3 * vertex] = offset + 0.001f * static_cast<float>(vertex / 3);
    mesh.positions[3 * vertex + 1] = vertex % 3 == 1 ? 1.0f : 0.0f;
    mesh.positions[3 * vertex + 2] = vertex % 3 == 2 ? 1.0f : 0.0f;
    mesh.normals[3 * vertex] = 1.0f;
    mesh.uvs[2 * vertex] = static_cast<float>(vertex % 3) * 0.5f;
    mesh.uvs[2 * vertex + 1] = 0.25f;
    mesh.indices[vertex] = vertex;
  }
  return mesh;
}

class ColladaExportTest : public TestEnvironment {
protected:
  void SetUp() override {
    TestEnvironment::SetUp();
    document_ = TideLinkDocumentImpl::Create(
        u"tlexport" + platform::Utf16FromUtf8(std::to_string(platform::GetCurrentProcessId())), 5000);
    ASSERT_TRUE(document_->IsOpen());
  }
  void TearDown() override {
    document_.reset();
    TestEnvironment::TearDown();
  }

  TideLinkSurface* Surface(const std::u16string& name) {
    surfaces_.push_back(document_->CreateSurface(name, true));
    return surfaces_.back().get();
  }
  ColladaExportOptions Options(const std::filesystem::path& target) const {
    ColladaExportOptions options;
    options.path = platform::Utf16FromUtf8(target.string());
    return options;
  }
  int32_t Export(const ColladaExportOptions& options) {
    ColladaWriter writer(options);
    return document_->ExportCollada(writer);
  }

  // A small drawing: plain, glass, textured and empty surfaces and two placed instances.
  void FillSample() {
    Surface(u"Wall & Co")->SetMesh(Triangles(40, 0.0f));
    TideLinkSurface* glass = Surface(u"Glass");
    glass->SetSurfaceType(2);
    glass->SetColor(0x3366CC);
    glass->SetMesh(Triangles(2, 5.0f));
    Surface(u"Nothing drawn");
    TideLinkSurface* brick = Surface(u"Brick");
    const uint8_t pixels[2 * 2 * 3] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    brick->SetTextureImage(2, 2, pixels, false);
    brick->SetMesh(Triangles(5, -3.0f));
  }
  static std::vector<std::vector<float>> SampleTransforms() {
    std::vector<float> shifted(16, 0.0f);
    for (int diagonal = 0; diagonal < 4; ++diagonal) shifted[5 * diagonal] = 1.0f;
    shifted[12] = 2.5f;
    std::vector<float> turned = shifted;
    turned[0] = turned[5] = 0.0f;
    turned[1] = 1.0f;
    turned[4] = -1.0f;
    return {shifted, turned};
  }

  std::shared_ptr<TideLinkDocumentImpl> document_;
  std::vector<std::shared_ptr<TideLinkSurface>> surfaces_;
};

std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex expression(pattern);
  for (auto match = std::sregex_iterator(text.begin(), text.end(), expression);
       match != std::sregex_iterator(); ++match) {
    found.push_back((*match)[1]);
  }
  return found;
}

TEST_F(ColladaExportTest, ClosedDocumentGivesMinusOneAndAnEmptyOneStillWritesAFile) {
  EXPECT_EQ(Export(Options(scratch() / "empty.dae")), 0);
  EXPECT_NE(ReadFile(scratch() / "empty.dae").find("<library_geometries>\r\n</library_geometries>"),
            std::string::npos);
  ExpectReadersAccept(scratch() / "empty.dae", 0, 0, 0, 1);

  document_->Close();
  EXPECT_EQ(Export(Options(scratch() / "closed.dae")), -1);
  EXPECT_FALSE(std::filesystem::exists(scratch() / "closed.dae"));
}

TEST_F(ColladaExportTest, NodesFollowTheOrderOfCreationAndAreNumberedInIt) {
  // The largest surface first, so that its node is the last one built.
  Surface(u"Big")->SetMesh(Triangles(30000, 0.0f));
  Surface(u"No mesh");
  Surface(u"Small")->SetMesh(Triangles(1, 1.0f));
  Surface(u"No vertices")->SetMesh(TideLinkMesh::Create(0, 0, 1));
  Surface(u"Medium")->SetMesh(Triangles(300, 2.0f));
  const std::filesystem::path target = scratch() / "order.dae";
  ASSERT_EQ(Export(Options(target)), 0);

  const std::string file = ReadFile(target);
  EXPECT_EQ(Matches(file, "<geometry id=\"[0-9A-F]+\" name=\"([^\"]*)\""),
            (std::vector<std::string>{"Big", "Small", "Medium"}));
  const std::vector<std::string> ids = Matches(file, "<geometry id=\"([0-9A-F]+)\"");
  ASSERT_EQ(ids.size(), 3u);
  const unsigned long first = std::stoul(ids[0], nullptr, 16);
  EXPECT_EQ(ids[1], (std::ostringstream() << std::uppercase << std::hex << first + 1).str());
  EXPECT_EQ(ids[2], (std::ostringstream() << std::uppercase << std::hex << first + 2).str());
  EXPECT_EQ(Matches(file, "<effect id=\"effect-([0-9A-F]+)\""), ids);
  EXPECT_EQ(Matches(file, "<instance_geometry url=\"#([0-9A-F]+)\""), ids);
  // A texture row v of 0.25 is written as 0.750.
  EXPECT_NE(file.find("<float_array id=\"" + ids[1] +
                      "-uv-array\" count=\"6\">0.000 0.750 0.500 0.750 1.000 0.750 </float_array>"),
            std::string::npos);
  ExpectReadersAccept(target, 3, 30301, 0, 1);

  // The counter is process-wide: later exports go on from there, past 9 in upper-case letters.
  for (unsigned long next = first + 3; next < first + 18; next += 3) {
    ASSERT_EQ(Export(Options(target)), 0);
    EXPECT_EQ(Matches(ReadFile(target), "<geometry id=\"([0-9A-Fa-f]+)\"")[0],
              (std::ostringstream() << std::uppercase << std::hex << next).str());
  }
}

TEST_F(ColladaExportTest, FailuresAreReportedAsResults) {
  Surface(u"Wall")->SetMesh(Triangles(1, 0.0f));
  EXPECT_EQ(Export(Options(scratch() / "missing" / "a.dae")), kExportWriteFailed);
  EXPECT_EQ(Export(ColladaExportOptions()), kExportWriteFailed);

  // A code thrown by the progress callback becomes the result.
  ColladaExportOptions options = Options(scratch() / "thrown.dae");
  options.progress = [](float, std::u16string) { throw int32_t{-7}; };
  EXPECT_EQ(Export(options), -7);
  EXPECT_FALSE(std::filesystem::exists(scratch() / "thrown.dae"));
}

// Run in a process of its own by the test below; skipped otherwise.
TEST_F(ColladaExportTest, WritesTheSampleDocumentWhenAskedTo) {
  const char* target = std::getenv(kSampleTarget);
  if (!target) GTEST_SKIP() << "helper for the two-process comparison";
  FillSample();
  ColladaExportOptions options = Options(target);
  options.exportNodes = true;
  options.generatorName = u"OmbrelTideLinkForVectorworks v3.60.92";
  options.nodeTransforms = SampleTransforms();
  ASSERT_EQ(Export(options), 0);
}

TEST_F(ColladaExportTest, SameDocumentGivesTheSameBytesInAnotherProcess) {
  std::vector<std::string> files;
  for (const char* folder : {"first", "second"}) {
    const std::filesystem::path target = scratch() / folder / "model.dae";
    std::filesystem::create_directories(target.parent_path());
    const ScopedEnvironment asked(kSampleTarget, target.string());
    const std::string self = platform::Utf8FromUtf16(*platform::GetProcessImagePath(platform::GetCurrentProcessId()));
    const CommandResult result =
        RunCommand("'" + self + "' --gtest_filter=ColladaExportTest.WritesTheSampleDocumentWhenAskedTo");
    ASSERT_EQ(result.status, 0) << result.output;
    files.push_back(MaskCreated(ReadFile(target)));
  }
  EXPECT_EQ(files[0], files[1]);
  const std::vector<std::string> images =
      Matches(files[0], "<init_from>model_Textures/([0-9a-f]{8}\\.jpg)</init_from>");
  ASSERT_EQ(images.size(), 1u);
  for (const char* folder : {"first", "second"}) {
    EXPECT_GT(std::filesystem::file_size(scratch() / folder / "model_Textures" / images[0]), 0u);
  }
  ExpectReadersAccept(scratch() / "first" / "model.dae", 4, 48, 1, 3);
}

}  // namespace
