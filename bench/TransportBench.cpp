// The steady state of an edit on the live link: a surface's one-million-triangle mesh replaced and
// committed into its existing segment, copied in (SetMesh) or handed over (TakeMesh, as the
// scene flush does), beside one plain memcpy of the same bytes.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/Environment.h"
#include "platform/ProcessList.h"
#include "transport/TideLinkDocumentImpl.h"

namespace {

constexpr uint32_t kTriangles = 1'000'000;
constexpr uint32_t kVertices = kTriangles / 2;  // a closed grid-like surface

const TideLinkMesh& Mesh1MTri() {
  static const TideLinkMesh mesh = [] {
    TideLinkMesh built = TideLinkMesh::Create(kVertices, 3ull * kTriangles, 1);
    for (size_t index = 0; index < built.positions.size(); ++index) built.positions[index] = index;
    for (size_t index = 0; index < built.normals.size(); ++index) built.normals[index] = 1.0f;
    for (size_t index = 0; index < built.uvs.size(); ++index) built.uvs[index] = 0.5f;
    for (size_t index = 0; index < built.indices.size(); ++index) {
      built.indices[index] = static_cast<uint32_t>(index % kVertices);
    }
    return built;
  }();
  return mesh;
}

uint64_t MeshBytes(const TideLinkMesh& mesh) {
  return 12 + 4 * (mesh.positions.size() + mesh.normals.size() + mesh.uvs.size() +
                   mesh.indices.size());
}

// Keeps the registry value and the window scan of the first commit out of the user's own
// settings.
class ScratchEnvironment {
public:
  ScratchEnvironment() {
    folder_ = std::filesystem::temp_directory_path() /
              ("tidelink-bench-transport-" + std::to_string(platform::GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
    platform::WriteEnvironmentVariable("TIDELINK_REGISTRY", (folder_ / "registry.sqlite").string());
    platform::WriteEnvironmentVariable("TIDELINK_RUNTIME_DIR", (folder_ / "runtime").string());
  }
  ~ScratchEnvironment() { std::filesystem::remove_all(folder_); }

private:
  std::filesystem::path folder_;
};

// A document whose one surface holds the mesh, committed once: the segment exists and its pages
// are touched.
class CommittedSurface {
public:
  CommittedSurface() {
    const std::string name = "bench-transport-" + std::to_string(platform::GetCurrentProcessId());
    document_ = TideLinkDocumentImpl::Create(std::u16string(name.begin(), name.end()), 5000);
    surface_ = document_->CreateSurface(u"Terrain", true);
    surface_->SetMesh(Mesh1MTri());
    document_->Commit();
  }
  ~CommittedSurface() { document_->Close(); }

  TideLinkDocumentImpl& document() { return *document_; }
  TideLinkSurface& surface() { return *surface_; }

private:
  ScratchEnvironment environment_;
  std::shared_ptr<TideLinkDocumentImpl> document_;
  std::shared_ptr<TideLinkSurface> surface_;
};

void BM_SetMeshCommit_1MTri(benchmark::State& state) {
  CommittedSurface committed;
  const TideLinkMesh& mesh = Mesh1MTri();
  for (auto _ : state) {
    committed.surface().SetMesh(mesh);
    committed.document().Commit();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MeshBytes(mesh)));
}
BENCHMARK(BM_SetMeshCommit_1MTri)->Unit(benchmark::kMillisecond);

// The caller's mesh and the surface's trade storage each time, as a flush worker's do; both hold
// the same bytes throughout.
void BM_TakeMeshCommit_1MTri(benchmark::State& state) {
  CommittedSurface committed;
  TideLinkMesh mesh = Mesh1MTri();
  for (auto _ : state) {
    committed.surface().TakeMesh(mesh);
    committed.document().Commit();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MeshBytes(mesh)));
}
BENCHMARK(BM_TakeMeshCommit_1MTri)->Unit(benchmark::kMillisecond);

// What a commit costs besides the mesh: the same surface with only its colour changed. Without a
// renderer running, each commit that changed something looks for its window again.
void BM_ColorCommit_1MTri(benchmark::State& state) {
  CommittedSurface committed;
  uint32_t color = 0;
  for (auto _ : state) {
    committed.surface().SetColor(++color);
    committed.document().Commit();
  }
}
BENCHMARK(BM_ColorCommit_1MTri)->Unit(benchmark::kMillisecond);

void BM_Memcpy_1MTriMesh(benchmark::State& state) {
  const uint64_t bytes = MeshBytes(Mesh1MTri());
  std::vector<uint8_t> source(bytes, 1), target(bytes, 0);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Memcpy_1MTriMesh)->Unit(benchmark::kMillisecond);

}  // namespace
