// Scene extraction on a generated drawing of 10 000 instances over 1 000 geometries and 200
// materials: the host's operations streamed into the stores, and the flush that rebuilds every
// material's surface mesh (about 2 million triangles), beside a plain memcpy of the bytes that
// flush produces.
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/ProcessList.h"
#include "scene/SceneGeometryCache.h"
#include "scene/SceneMaterialSet.h"
#include "transport/TideLinkDocumentImpl.h"

namespace {

constexpr uint64_t kMaterials = 200;
constexpr uint64_t kGeometries = 1'000;
constexpr uint64_t kInstances = 10'000;
// Each geometry has two surfaces, each a 5 × 5 grid of quads: 36 vertices, 50 triangles. Not
// solid, so every instance draws both sides: 200 triangles an instance.
constexpr uint64_t kSurfacesPerGeometry = 2;
constexpr uint64_t kGridQuads = 5;

// One host mesh with the storage behind its views.
struct HostGrid {
  std::vector<VGS::HostVector3> positions;
  std::vector<VGS::HostVector3> normals;
  std::vector<VGS::HostUV> uvs;
  Sequence<VGS::HostUV> channel;
  std::vector<VGS::HostTriangle> triangles;
};

HostGrid MakeGrid(double size, double height) {
  HostGrid grid;
  const uint32_t side = kGridQuads + 1;
  for (uint32_t row = 0; row < side; ++row) {
    for (uint32_t column = 0; column < side; ++column) {
      const double u = column / double(kGridQuads), v = row / double(kGridQuads);
      grid.positions.push_back({u * size, v * size, height + 10.0 * std::sin(u * 3 + v)});
      grid.normals.push_back({0, 0, 1});
      grid.uvs.push_back({u, v});
    }
  }
  for (uint32_t row = 0; row < kGridQuads; ++row) {
    for (uint32_t column = 0; column < kGridQuads; ++column) {
      const uint32_t corner = row * side + column;
      grid.triangles.push_back({corner, corner + 1, corner + side + 1});
      grid.triangles.push_back({corner, corner + side + 1, corner + side});
    }
  }
  return grid;
}

// Every payload of the drawing, built once; the views stay valid for the process.
struct Drawing {
  std::vector<VGS::AddMaterialData> materials;
  std::vector<VGS::SetMaterialPropertiesData> properties;
  std::vector<std::vector<HostGrid>> grids;
  std::vector<std::vector<VGS::HostMesh>> meshes;
  std::vector<VGS::SetGeometryData> geometries;
  std::vector<VGS::PlaceInstanceData> placements;
  std::vector<VGS::SetInstanceTransformData> transforms;
  std::vector<std::vector<SceneId>> materialLists;
  std::vector<std::vector<Sequence<SceneId>>> materialViews;
  std::vector<VGS::SetInstanceMaterialsData> instanceMaterials;

  uint64_t operationCount() const {
    return materials.size() + properties.size() + geometries.size() + placements.size() +
           transforms.size() + instanceMaterials.size();
  }
};

const Drawing& GeneratedDrawing() {
  static const Drawing drawing = [] {
    Drawing d;
    for (uint64_t m = 0; m < kMaterials; ++m) {
      const std::string name = (m % 20 == 0 ? "Glass " : "Paint ") + std::to_string(m);
      d.materials.push_back({{m, 1}, TXString(std::u16string(name.begin(), name.end()))});
      VGS::SetMaterialPropertiesData properties{};
      properties.material = {m, 1};
      properties.red = (m % 7) / 7.0;
      properties.green = (m % 11) / 11.0;
      properties.blue = (m % 13) / 13.0;
      properties.alpha = 1.0;
      d.properties.push_back(properties);
    }
    d.grids.resize(kGeometries);
    d.meshes.resize(kGeometries);
    for (uint64_t g = 0; g < kGeometries; ++g) {
      for (uint64_t s = 0; s < kSurfacesPerGeometry; ++s) {
        d.grids[g].push_back(MakeGrid(500.0 + g, 300.0 * s));
      }
      for (HostGrid& grid : d.grids[g]) {
        grid.channel = {grid.uvs.data(), grid.uvs.size()};
        d.meshes[g].push_back({{grid.positions.data(), grid.positions.size()},
                               {grid.normals.data(), grid.normals.size()},
                               {&grid.channel, 1},
                               {grid.triangles.data(), grid.triangles.size()}});
      }
      d.geometries.push_back({{g, 2}, {d.meshes[g].data(), d.meshes[g].size()}, 0});
    }
    d.materialLists.resize(kInstances);
    d.materialViews.resize(kInstances);
    for (uint64_t i = 0; i < kInstances; ++i) {
      const SceneId instance{i, 3};
      d.placements.push_back({instance, {i % kGeometries, 2}});
      VGS::SetInstanceTransformData transform{instance, {}};
      const double angle = 0.001 * i, mirror = i % 10 == 0 ? -1.0 : 1.0;
      const double matrix[16] = {mirror * std::cos(angle), std::sin(angle), 0, 0,
                                 -std::sin(angle), std::cos(angle), 0, 0,
                                 0, 0, 1, 0,
                                 1000.0 * (i % 100), 1000.0 * (i / 100), 0, 1};
      std::memcpy(transform.matrix, matrix, sizeof(matrix));
      d.transforms.push_back(transform);
      d.materialLists[i] = {{i % kMaterials, 1}, {(i * 7 + 3) % kMaterials, 1}};
      for (SceneId& material : d.materialLists[i]) d.materialViews[i].push_back({&material, 1});
      d.instanceMaterials.push_back(
          {instance, {d.materialViews[i].data(), d.materialViews[i].size()}});
    }
    return d;
  }();
  return drawing;
}

void StreamDrawing(const Drawing& drawing, SceneMaterialSet& materials, SceneGeometryCache& cache) {
  for (const auto& material : drawing.materials) materials.addMaterial(material);
  for (const auto& properties : drawing.properties) materials.setMaterialProperties(properties);
  for (const auto& geometry : drawing.geometries) cache.setGeometry(geometry);
  for (uint64_t i = 0; i < drawing.placements.size(); ++i) {
    cache.placeInstance(drawing.placements[i]);
    cache.setInstanceMaterials(drawing.instanceMaterials[i]);
    cache.setInstanceTransform(drawing.transforms[i]);
  }
}

std::u16string DocumentName() {
  static std::atomic<int> counter{0};
  const std::string name =
      "bench-scene-" + std::to_string(platform::GetCurrentProcessId()) + "-" + std::to_string(counter++);
  return {name.begin(), name.end()};
}

// Stores attached to their own document, filled with the drawing.
struct StreamedScene {
  std::shared_ptr<TideLinkDocumentImpl> document = TideLinkDocumentImpl::Create(DocumentName(), 5000);
  SceneMaterialSet materials;
  SceneGeometryCache cache{materials};
  GeometrySettings settings;

  StreamedScene() {
    materials.attach(document);
    cache.attach(document, &settings);
    StreamDrawing(GeneratedDrawing(), materials, cache);
    materials.flush();
  }
  ~StreamedScene() {
    cache.detach();
    materials.detach();
  }

  // Bytes of every surface mesh in the link's layout (what a flush writes), and its triangles.
  struct MeshTotals {
    uint64_t bytes = 0;
    uint64_t triangles = 0;
  };
  MeshTotals meshTotals() const {
    MeshTotals totals;
    for (uint64_t m = 0; m < kMaterials; ++m) {
      TideLinkMesh mesh;
      if (!materials.lookup({m, 1}, false)->surface->GetMesh(mesh)) continue;
      totals.bytes += 4 * (mesh.positions.size() + mesh.normals.size() + mesh.uvs.size() +
                           mesh.indices.size());
      totals.triangles += mesh.indexCount / 3;
    }
    return totals;
  }
};

uint64_t FlushBytes() {
  static const uint64_t bytes = [] {
    StreamedScene scene;
    scene.cache.flush();
    return scene.meshTotals().bytes;
  }();
  return bytes;
}

void BM_StreamOps_Drawing(benchmark::State& state) {
  const Drawing& drawing = GeneratedDrawing();
  for (auto _ : state) {
    state.PauseTiming();
    {
      const auto document = TideLinkDocumentImpl::Create(DocumentName(), 5000);
      SceneMaterialSet materials;
      SceneGeometryCache cache(materials);
      const GeometrySettings settings;
      materials.attach(document);
      cache.attach(document, &settings);
      state.ResumeTiming();
      StreamDrawing(drawing, materials, cache);
      state.PauseTiming();
      cache.detach();
      materials.detach();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * drawing.operationCount());
}
BENCHMARK(BM_StreamOps_Drawing)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Flush_Drawing(benchmark::State& state) {
  const Drawing& drawing = GeneratedDrawing();
  StreamedScene scene;
  scene.cache.flush();  // the surfaces' mesh buffers reach their size once, as on a live link
  for (auto _ : state) {
    state.PauseTiming();
    // Moving every instance marks every material.
    for (const auto& transform : drawing.transforms) scene.cache.setInstanceTransform(transform);
    state.ResumeTiming();
    scene.cache.flush();
  }
  const StreamedScene::MeshTotals totals = scene.meshTotals();
  state.counters["triangles"] = static_cast<double>(totals.triangles);
  state.SetBytesProcessed(state.iterations() * totals.bytes);
}
BENCHMARK(BM_Flush_Drawing)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Memcpy_FlushBytes(benchmark::State& state) {
  const uint64_t bytes = FlushBytes();
  std::vector<uint8_t> source(bytes, 1), target(bytes, 0);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_Memcpy_FlushBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
