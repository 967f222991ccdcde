#pragma once

// The two independent COLLADA readers that check what the writer and the export command write:
// python-collada with its schema validator, run as a program, and Assimp's importer in-process.
// Both exist only for the Linux build.

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

// What an independent reader saw in a COLLADA file. `refused` holds its complaint when it could
// not read the file at all.
struct ReaderReport {
  std::string refused;
  long geometries = -1, triangles = -1, images = -1, nodes = -1;
  std::string unexpected;  // schema findings the file format does not account for, one per line
  std::string expected;    // the prescribed deviations that were found, one kind per line
};

// python-collada: its counts, and its COLLADA 1.4.1 schema validator's findings.
inline ReaderReport ReadWithPythonCollada(const std::filesystem::path& file) {
  const CommandResult result =
      RunCommand("/usr/bin/python3 " READ_COLLADA_SCRIPT " '" + file.string() + "' --findings");
  ReaderReport report;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "geometries") words >> report.geometries;
    else if (key == "triangles") words >> report.triangles;
    else if (key == "images") words >> report.images;
    else if (key == "nodes") words >> report.nodes;
    else if (key == "expected") report.expected += line.substr(9, line.find(':') - 9) + "\n";
    else report.unexpected += line + "\n";
  }
  if (result.status != 0) report.refused = result.output;
  return report;
}

// Assimp's COLLADA importer, without post-processing: meshes (one per geometry), faces, scene
// nodes, and the distinct image files that its materials' diffuse textures resolve to.
inline ReaderReport ReadWithAssimp(const std::filesystem::path& file) {
  ReaderReport report;
  Assimp::Importer importer;
  // Otherwise a file without meshes is shown as a made-up skeleton mesh.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
  const aiScene* scene = importer.ReadFile(file.string(), 0);
  if (!scene) {
    report.refused = importer.GetErrorString();
    return report;
  }
  report.geometries = scene->mNumMeshes;
  report.triangles = 0;
  for (unsigned mesh = 0; mesh < scene->mNumMeshes; ++mesh) {
    for (unsigned face = 0; face < scene->mMeshes[mesh]->mNumFaces; ++face) {
      report.triangles += scene->mMeshes[mesh]->mFaces[face].mNumIndices == 3 ? 1 : 0;
    }
  }
  std::set<std::string> textures;
  for (unsigned material = 0; material < scene->mNumMaterials; ++material) {
    aiString path;
    // A sampler whose image is missing reaches Assimp as the bare image id.
    if (scene->mMaterials[material]->GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS &&
        std::string_view(path.C_Str()).substr(0, 6) != "image-") {
      textures.insert(path.C_Str());
    }
  }
  report.images = static_cast<long>(textures.size());
  const std::function<long(const aiNode*)> countNodes = [&](const aiNode* node) {
    long count = 1;
    for (unsigned child = 0; child < node->mNumChildren; ++child) {
      count += countNodes(node->mChildren[child]);
    }
    return count;
  };
  report.nodes = scene->mRootNode ? countNodes(scene->mRootNode) : 0;
  return report;
}

// Both readers must take the file, count what the document held and find nothing in it beyond
// the deviations the format prescribes. `meshes` counts the geometries in the file, the marker
// geometry included; Assimp counts one scene node for each mesh instance besides the nodes of
// the file, so only python-collada's node count is compared.
inline void ExpectReadersAccept(const std::filesystem::path& file, long meshes, long triangles,
                                long images, long nodes) {
  const ReaderReport python = ReadWithPythonCollada(file);
  EXPECT_EQ(python.refused, "") << file;
  EXPECT_EQ(python.unexpected, "") << file;
  EXPECT_EQ(python.geometries, meshes);
  EXPECT_EQ(python.triangles, triangles);
  EXPECT_EQ(python.images, images);
  EXPECT_EQ(python.nodes, nodes);
  const ReaderReport assimp = ReadWithAssimp(file);
  EXPECT_EQ(assimp.refused, "") << file;
  EXPECT_EQ(assimp.geometries, meshes);
  EXPECT_EQ(assimp.triangles, triangles);
  EXPECT_EQ(assimp.images, images);
}
