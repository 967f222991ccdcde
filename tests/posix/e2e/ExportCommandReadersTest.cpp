// Exports of the stand-in host read back by the two independent COLLADA readers, and model files
// whose content Assimp counts on the way in: the Linux build alone has the readers.

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "tests/e2e/ExportCommandFixture.h"
#include "tests/posix/export/IndependentReaders.h"

namespace {

const std::string kModels = "/usr/share/assimp/models/";

// What the source file holds once placed by its node tree, counted the way the host draws it:
// triangles only (points and lines have no surface), one placement per node that shows a mesh.
struct SourceCounts {
  long placedTriangles = 0;
  long instances = 0;
  long texturedMaterials = 0;  // materials drawn by some placed triangle that carry a colour image
};

SourceCounts CountSource(const std::string& path) {
  SourceCounts counts;
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate | aiProcess_SortByPType);
  if (!scene || !scene->mRootNode) return counts;
  std::set<unsigned> usedMaterials;
  const auto triangles = [&](const aiMesh& mesh) {
    long count = 0;
    for (unsigned face = 0; face < mesh.mNumFaces; ++face) count += mesh.mFaces[face].mNumIndices == 3 ? 1 : 0;
    return count;
  };
  const std::function<void(const aiNode&)> walk = [&](const aiNode& node) {
    bool shown = false;
    for (unsigned slot = 0; slot < node.mNumMeshes; ++slot) {
      const aiMesh& mesh = *scene->mMeshes[node.mMeshes[slot]];
      const long count = triangles(mesh);
      if (count == 0) continue;
      shown = true;
      counts.placedTriangles += count;
      usedMaterials.insert(mesh.mMaterialIndex);
    }
    counts.instances += shown ? 1 : 0;
    for (unsigned child = 0; child < node.mNumChildren; ++child) walk(*node.mChildren[child]);
  };
  walk(*scene->mRootNode);
  for (const unsigned material : usedMaterials) {
    const aiMaterial& source = *scene->mMaterials[material];
    if (source.GetTextureCount(aiTextureType_DIFFUSE) + source.GetTextureCount(aiTextureType_BASE_COLOR) > 0) {
      ++counts.texturedMaterials;
    }
  }
  return counts;
}

class ExportCommandReadersTest : public ExportCommandFixture {
protected:
  // Both readers take the file with nothing beyond the prescribed deviations, and agree on it.
  static ReaderReport ExpectReadable(const fs::path& file) {
    const ReaderReport python = ReadWithPythonCollada(file);
    EXPECT_EQ(python.refused, "") << file;
    EXPECT_EQ(python.unexpected, "") << file;
    const ReaderReport assimp = ReadWithAssimp(file);
    EXPECT_EQ(assimp.refused, "") << file;
    EXPECT_EQ(assimp.geometries, python.geometries) << file;
    EXPECT_EQ(assimp.triangles, python.triangles) << file;
    EXPECT_EQ(assimp.images, python.images) << file;
    EXPECT_GT(python.triangles, 1) << "nothing but the marker triangle in " << file;
    ExpectTexturesPresent(file, python.images);
    return python;
  }

  // A model of the test models package, exported with repair off: every surface is then written
  // from both sides and nothing is merged or dropped, so the file holds exactly twice the placed
  // triangles plus the marker triangle, and one transform node per placement (the change to Z up
  // makes every placement's transform differ from the identity).
  void ExpectModelExported(const std::string& relativePath) {
    if (!kHostReadsModels) GTEST_SKIP() << kWithoutModelImport;
    const std::string model = kModels + relativePath;
    if (!fs::exists(model)) GTEST_SKIP() << model << " is not installed (package assimp-testmodels)";
    StoreSetting(u"RepairMode", 0);
    const SourceCounts source = CountSource(model);
    ASSERT_GT(source.placedTriangles, 0) << model;
    const fs::path file = out() / "model.dae";
    const CommandResult result = Export("'" + model + "' -o '" + file.string() + "'");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(EndLine(result), "export 1: complete: " + file.string());
    EXPECT_TRUE(Lines(result.output, "drawing: texture").empty()) << "a texture was lost on the way in";
    ExpectEndedCleanly(result);

    const ReaderReport read = ExpectReadable(file);
    EXPECT_EQ(read.triangles, 2 * source.placedTriangles + 1) << model;
    EXPECT_EQ(read.nodes, 1 + source.instances) << "every placement of the model has its own transform node";
    EXPECT_EQ(read.images, source.texturedMaterials) << model;
  }

};

// --- Complete exports --------------------------------------------------------------------------

TEST_F(ExportCommandReadersTest, TheSampleDrawingIsWrittenWithItsTexturesAndReadBackByBothReaders) {
  const fs::path file = out() / "sample.dae";
  const CommandResult result = Export("-o '" + file.string() + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: complete: " + file.string());
  ExpectEndedCleanly(result);
  EXPECT_EQ(MessageCaptions(result.output),
            (std::vector<std::string>{"Ombrel TideLink - Materials in Ombrel", "Ombrel TideLink - Export complete"}));
  // The progress text follows the export: collecting, then building nodes, then writing.
  const auto progress = Lines(result.output, "ui progress-text ");
  ASSERT_GE(progress.size(), 3u) << result.output;
  EXPECT_EQ(std::vector<std::string>(progress.end() - 3, progress.end()),
            (std::vector<std::string>{"ui progress-text \"Collecting the drawing...\"",
                                      "ui progress-text \"Preparing objects and textures...\"",
                                      "ui progress-text \"Writing the COLLADA file...\""}));

  ASSERT_TRUE(fs::is_regular_file(file));
  const ReaderReport read = ExpectReadable(file);
  // The sample has a textured brick material and a leaf screen with colour and opacity images.
  EXPECT_GE(read.images, 2);
  // Several materials, among them glass and water: one geometry each, and the marker.
  EXPECT_GE(read.geometries, 6);
  const std::string text = ReadFile(file);
  EXPECT_NE(text.find("<surface_type>glass</surface_type>"), std::string::npos);
  EXPECT_NE(text.find("<surface_type>water</surface_type>"), std::string::npos);
  EXPECT_NE(text.find("<export_nodes>1</export_nodes>"), std::string::npos);
}

TEST_F(ExportCommandReadersTest, TheScriptFunctionExportsLikeTheMenuCommandAndItsTimingsAddUp) {
  const fs::path file = out() / "scripted.dae";
  const CommandResult result = Export("--via-script --timings -o '" + file.string() + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: complete: " + file.string());
  ExpectEndedCleanly(result);
  ExpectReadable(file);
  // Every part is a span of one steady clock: none negative, and together the whole.
  const std::string_view label = "export 1: timings: ";
  const size_t line = result.output.find(label);
  ASSERT_NE(line, std::string::npos) << result.output;
  const size_t first = line + label.size();
  std::istringstream timings(result.output.substr(first, result.output.find('\n', first) - first));
  std::vector<long long> parts;
  for (std::string word; timings >> word;) {
    if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-')) {
      parts.push_back(std::stoll(word));
    }
  }
  ASSERT_EQ(parts.size(), 5u) << result.output;
  for (long long part : parts) EXPECT_GE(part, 0) << result.output;
  // Each part is cut to whole milliseconds on its own.
  EXPECT_LE(std::abs(parts[0] + parts[1] + parts[2] + parts[3] - parts[4]), 3) << result.output;
}

TEST_F(ExportCommandReadersTest, ATexturedGltfModel) { ExpectModelExported("glTF2/BoxTextured-glTF/BoxTextured.gltf"); }

TEST_F(ExportCommandReadersTest, AnObjModelWithMaterialsAndTextures) { ExpectModelExported("OBJ/spider.obj"); }

TEST_F(ExportCommandReadersTest, AModelWithManyMeshesAndNodes) {
  ExpectModelExported("glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb");
}

// Without the view report the export finishes once the host has been quiet for five seconds.
TEST_F(ExportCommandReadersTest, QuietTimeAfterTheLastBatchFinishesTheExport) {
  const fs::path file = out() / "quiet.dae";
  const CommandResult result = Export("--no-view-report --timeout 120 -o '" + file.string() + "'");
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: complete: " + file.string());
  ExpectEndedCleanly(result);
  ExpectReadable(file);
}

TEST_F(ExportCommandReadersTest, EndOfStreamAfterTheViewReportKeepsTheFileButShowsCanceled) {
  // More records than the sample holds: kind 4 comes after the view report has written the file.
  const fs::path file = out() / "late-cancel.dae";
  const CommandResult result = Export("--cancel-after 1000000 -o '" + file.string() + "'");
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_EQ(EndLine(result), "export 1: ended with \"Ombrel TideLink - Export canceled\"") << result.output;
  EXPECT_EQ(Count(MessageCaptions(result.output), "Ombrel TideLink - Export complete"), 0u);
  ExpectEndedCleanly(result);
  ASSERT_TRUE(fs::is_regular_file(file)) << "the written file was deleted";
  ExpectReadable(file);
}

TEST_F(ExportCommandReadersTest, ASecondExportStartsInTheFirstFolderContinuesTheNodeIdsAndStartsEmpty) {
  StoreSetting(u"FirstExport", 0);
  const fs::path firstFolder = out() / "first";
  const fs::path secondFolder = out() / "second";
  fs::create_directories(firstFolder);
  fs::create_directories(secondFolder);
  const fs::path first = firstFolder / "one.dae";
  const fs::path second = secondFolder / "two.dae";
  const CommandResult result = Export(UiScript("save " + first.string() + "\nsave " + second.string()) +
                                      " --document /drawings/house.vwx --repeat 2 -o '" +
                                      (out() / "unused.dae").string() + "'");
  EXPECT_EQ(result.status, 0) << result.output;
  const auto dialogs = Lines(result.output, "ui save-dialog ");
  ASSERT_EQ(dialogs.size(), 2u) << result.output;
  EXPECT_NE(dialogs[0].find("offered \"house.dae\" in \"/drawings\""), std::string::npos) << dialogs[0];
  EXPECT_NE(dialogs[1].find("offered \"house.dae\" in \"" + firstFolder.string() + "\""), std::string::npos)
      << dialogs[1];
  EXPECT_EQ(Count(MessageCaptions(result.output), "Ombrel TideLink - Export complete"), 2u) << result.output;
  ExpectEndedCleanly(result);

  const ReaderReport one = ExpectReadable(first);
  const ReaderReport two = ExpectReadable(second);
  // The stores were emptied by the first export's end: the same drawing, not twice of it.
  EXPECT_EQ(two.triangles, one.triangles);
  EXPECT_EQ(two.geometries, one.geometries);
  EXPECT_EQ(two.nodes, one.nodes);

  const auto firstIds = NodeIds(first);
  const auto secondIds = NodeIds(second);
  ASSERT_FALSE(firstIds.empty());
  ASSERT_EQ(secondIds.size(), firstIds.size());
  EXPECT_EQ(secondIds.front(), firstIds.back() + 1) << "node ids start again in the second export";
  EXPECT_EQ(secondIds.back() - secondIds.front() + 1, secondIds.size()) << "node ids are not consecutive";
}

}  // namespace
