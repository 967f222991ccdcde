// A COLLADA export of a one-million-triangle drawing over 100 surfaces, beside Assimp's own
// COLLADA exporter writing an aiScene that holds the same meshes. Both report output bytes per
// second of wall time.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <assimp/Exporter.hpp>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include "export/ColladaWriter.h"
#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "platform/TextConversion.h"
#include "transport/TideLinkDocumentImpl.h"

namespace {

constexpr int kSurfaces = 100;
constexpr int kColumns = 100, kRows = 50;  // quads per surface: 2 x 5000 = 10 000 triangles
constexpr int kVerticesPerSurface = (kColumns + 1) * (kRows + 1);

// A gently curved grid in drawing scale (metres, millimetre detail), different for each surface.
TideLinkMesh GridMesh(int surface) {
  TideLinkMesh mesh = TideLinkMesh::Create(kVerticesPerSurface, 6 * kColumns * kRows, 1);
  for (int row = 0; row <= kRows; ++row) {
    for (int column = 0; column <= kColumns; ++column) {
      const int vertex = row * (kColumns + 1) + column;
      const float x = 12.345f * surface + 0.1173f * column;
      const float y = 0.0917f * row;
      mesh.positions[3 * vertex] = x;
      mesh.positions[3 * vertex + 1] = y;
      mesh.positions[3 * vertex + 2] = 0.01f * (column % 7) * (row % 5) - 1.5f;
      mesh.normals[3 * vertex] = 0.0447f * (column % 3);
      mesh.normals[3 * vertex + 1] = -0.0894f * (row % 2);
      mesh.normals[3 * vertex + 2] = 0.9950f;
      mesh.uvs[2 * vertex] = static_cast<float>(column) / kColumns;
      mesh.uvs[2 * vertex + 1] = static_cast<float>(row) / kRows;
    }
  }
  size_t at = 0;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const uint32_t corner = row * (kColumns + 1) + column;
      for (const uint32_t index : {corner, corner + 1, corner + kColumns + 1, corner + 1,
                                   corner + kColumns + 2, corner + kColumns + 1}) {
        mesh.indices[at++] = index;
      }
    }
  }
  return mesh;
}

const std::vector<TideLinkMesh>& Meshes() {
  static const std::vector<TideLinkMesh> meshes = [] {
    std::vector<TideLinkMesh> built;
    for (int surface = 0; surface < kSurfaces; ++surface) built.push_back(GridMesh(surface));
    return built;
  }();
  return meshes;
}

// Output folder and the registry of the link document, away from the user's own.
class ScratchFolder {
public:
  ScratchFolder() {
    folder_ = std::filesystem::temp_directory_path() /
              ("tidelink-bench-export-" + std::to_string(platform::GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
    platform::WriteEnvironmentVariable("TIDELINK_REGISTRY", (folder_ / "registry.sqlite").string());
    platform::WriteEnvironmentVariable("TIDELINK_RUNTIME_DIR", (folder_ / "runtime").string());
  }
  ~ScratchFolder() { std::filesystem::remove_all(folder_); }
  std::filesystem::path operator/(const std::string& name) const { return folder_ / name; }

private:
  std::filesystem::path folder_;
};

void BM_ExportCollada_1MTri(benchmark::State& state) {
  ScratchFolder folder;
  const std::string name = "bench-export-" + std::to_string(platform::GetCurrentProcessId());
  const auto document = TideLinkDocumentImpl::Create(platform::Utf16FromUtf8(name), 5000);
  std::vector<std::shared_ptr<TideLinkSurface>> surfaces;
  for (int surface = 0; surface < kSurfaces; ++surface) {
    surfaces.push_back(document->CreateSurface(u"Surface " + platform::Utf16FromUtf8(
                                                   std::to_string(surface)), true));
    surfaces.back()->SetColor(0x102030 * (surface + 1));
    surfaces.back()->SetMesh(Meshes()[surface]);
  }
  ColladaExportOptions options;
  options.path = platform::Utf16FromUtf8((folder / "drawing.dae").string());
  uint64_t bytes = 0;
  for (auto _ : state) {
    ColladaWriter writer(options);
    if (document->ExportCollada(writer) != 0) state.SkipWithError("export failed");
    bytes += std::filesystem::file_size(folder / "drawing.dae");
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ExportCollada_1MTri)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same meshes as an aiScene: one mesh, material and node reference per surface.
std::unique_ptr<aiScene> AssimpScene() {
  auto scene = std::make_unique<aiScene>();
  scene->mRootNode = new aiNode("Ombrel_Model");
  scene->mRootNode->mNumMeshes = kSurfaces;
  scene->mRootNode->mMeshes = new unsigned[kSurfaces];
  scene->mNumMeshes = scene->mNumMaterials = kSurfaces;
  scene->mMeshes = new aiMesh*[kSurfaces];
  scene->mMaterials = new aiMaterial*[kSurfaces];
  for (int surface = 0; surface < kSurfaces; ++surface) {
    const TideLinkMesh& source = Meshes()[surface];
    auto* mesh = new aiMesh();
    mesh->mName = "Surface " + std::to_string(surface);
    mesh->mMaterialIndex = surface;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = static_cast<unsigned>(source.vertexCount);
    mesh->mVertices = new aiVector3D[mesh->mNumVertices];
    mesh->mNormals = new aiVector3D[mesh->mNumVertices];
    mesh->mTextureCoords[0] = new aiVector3D[mesh->mNumVertices];
    mesh->mNumUVComponents[0] = 2;
    for (unsigned vertex = 0; vertex < mesh->mNumVertices; ++vertex) {
      const float* position = &source.positions[3 * vertex];
      const float* normal = &source.normals[3 * vertex];
      mesh->mVertices[vertex] = aiVector3D(position[0], position[2], position[1]);
      mesh->mNormals[vertex] = aiVector3D(normal[0], normal[2], normal[1]);
      mesh->mTextureCoords[0][vertex] =
          aiVector3D(source.uvs[2 * vertex], 1.0f - source.uvs[2 * vertex + 1], 0.0f);
    }
    mesh->mNumFaces = static_cast<unsigned>(source.indexCount / 3);
    mesh->mFaces = new aiFace[mesh->mNumFaces];
    for (unsigned face = 0; face < mesh->mNumFaces; ++face) {
      mesh->mFaces[face].mNumIndices = 3;
      mesh->mFaces[face].mIndices = new unsigned[3]{source.indices[3 * face],
                                                    source.indices[3 * face + 1],
                                                    source.indices[3 * face + 2]};
    }
    scene->mMeshes[surface] = mesh;
    auto* material = new aiMaterial();
    const aiString materialName("Surface " + std::to_string(surface));
    material->AddProperty(&materialName, AI_MATKEY_NAME);
    const aiColor4D diffuse(0.664f, 0.664f, 0.664f, 1.0f);
    material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
    scene->mMaterials[surface] = material;
    scene->mRootNode->mMeshes[surface] = surface;
  }
  return scene;
}

void BM_AssimpColladaExport_1MTri(benchmark::State& state) {
  ScratchFolder folder;
  const std::unique_ptr<aiScene> scene = AssimpScene();
  const std::string target = (folder / "drawing.dae").string();
  Assimp::Exporter exporter;
  uint64_t bytes = 0;
  for (auto _ : state) {
    if (exporter.Export(scene.get(), "collada", target) != AI_SUCCESS) {
      state.SkipWithError(exporter.GetErrorString());
    }
    bytes += std::filesystem::file_size(target);
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_AssimpColladaExport_1MTri)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
