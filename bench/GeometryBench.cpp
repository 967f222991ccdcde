// Weld and repair on million-element meshes, with meshoptimizer's weld on the same data.
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include "geometry/MeshProcessor.h"

namespace {

// 500 x 500 quads, each with its own four vertices: 1,000,000 vertices of which 251,001 are
// distinct (position, normal and UV all equal where quads meet).
const TideLinkMesh& Grid1M() {
  static const TideLinkMesh grid = [] {
    const uint32_t n = 500;
    TideLinkMesh mesh = TideLinkMesh::Create(4ull * n * n, 6ull * n * n, 1);
    const uint32_t dx[4] = {0, 1, 1, 0}, dy[4] = {0, 0, 1, 1};
    for (uint32_t y = 0; y < n; ++y)
      for (uint32_t x = 0; x < n; ++x) {
        const uint32_t q = 4 * (y * n + x);
        for (int c = 0; c < 4; ++c) {
          const float u = float(x + dx[c]) / n, v = float(y + dy[c]) / n;
          const size_t i = q + c;
          mesh.positions[3 * i] = u * 10.0f;
          mesh.positions[3 * i + 1] = v * 10.0f;
          mesh.normals[3 * i + 2] = 1.0f;
          mesh.uvs[2 * i] = u;
          mesh.uvs[2 * i + 1] = v;
        }
        const uint32_t triangles[6] = {q, q + 1, q + 2, q, q + 2, q + 3};
        std::memcpy(&mesh.indices[6 * size_t(y * n + x)], triangles, sizeof(triangles));
      }
    return mesh;
  }();
  return grid;
}

// Closed UV sphere of 1000 segments and 500 bands, 1,000,000 triangles, wound and lit inward.
// The seam repeats its vertices (same position, other UV), so repair must weld to close it.
const TideLinkMesh& Sphere1M() {
  static const TideLinkMesh sphere = [] {
    const uint32_t segments = 1000, rings = 501;
    const uint64_t vertices = uint64_t(segments + 1) * (rings + 1);
    const uint64_t triangles = 2ull * segments * (rings - 1);
    TideLinkMesh mesh = TideLinkMesh::Create(vertices, 3 * triangles, 1);
    for (uint32_t r = 0; r <= rings; ++r)
      for (uint32_t s = 0; s <= segments; ++s) {
        const double theta = std::numbers::pi * r / rings;
        const double phi = 2 * std::numbers::pi * (s % segments) / segments;
        const float p[3] = {float(std::sin(theta) * std::cos(phi)), float(std::cos(theta)),
                            float(std::sin(theta) * std::sin(phi))};
        const size_t i = size_t(r) * (segments + 1) + s;
        for (int a = 0; a < 3; ++a) {
          mesh.positions[3 * i + a] = p[a];
          mesh.normals[3 * i + a] = -p[a];
        }
        mesh.uvs[2 * i] = float(s) / segments;
        mesh.uvs[2 * i + 1] = float(r) / rings;
      }
    size_t o = 0;
    auto at = [&](uint32_t r, uint32_t s) { return r * (segments + 1) + s; };
    for (uint32_t r = 0; r < rings; ++r)
      for (uint32_t s = 0; s < segments; ++s) {
        // Seen from outside these run clockwise: inward. The pole bands keep their one
        // non-degenerate triangle.
        if (r != 0) {
          mesh.indices[o++] = at(r, s);
          mesh.indices[o++] = at(r + 1, s + 1);
          mesh.indices[o++] = at(r, s + 1);
        }
        if (r != rings - 1) {
          mesh.indices[o++] = at(r, s);
          mesh.indices[o++] = at(r + 1, s);
          mesh.indices[o++] = at(r + 1, s + 1);
        }
      }
    return mesh;
  }();
  return sphere;
}

template <class Operation>
void RunOnCopies(benchmark::State& state, const TideLinkMesh& source, Operation operation) {
  for (auto _ : state) {
    state.PauseTiming();
    TideLinkMesh mesh = source;
    state.ResumeTiming();
    benchmark::DoNotOptimize(operation(mesh));
    state.PauseTiming();
    mesh = TideLinkMesh();  // freeing the copy is not part of the run
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * int64_t(source.vertexCount));
}

void BM_Optimise_Grid1M(benchmark::State& state) {
  RunOnCopies(state, Grid1M(), [](TideLinkMesh& mesh) { return optimise(mesh); });
}

// The same weld through meshoptimizer: the remap over 32-byte vertex records (position, normal,
// UV interleaved once beforehand, as that library expects), then the vertex and index remaps.
void BM_MeshoptWeld_Grid1M(benchmark::State& state) {
  const TideLinkMesh& grid = Grid1M();
  const size_t vertexCount = grid.vertexCount;
  std::vector<float> interleaved(8 * vertexCount);
  for (size_t v = 0; v < vertexCount; ++v) {
    std::memcpy(&interleaved[8 * v], &grid.positions[3 * v], 12);
    std::memcpy(&interleaved[8 * v + 3], &grid.normals[3 * v], 12);
    std::memcpy(&interleaved[8 * v + 6], &grid.uvs[2 * v], 8);
  }
  for (auto _ : state) {
    std::vector<unsigned int> remap(vertexCount);
    const size_t unique = meshopt_generateVertexRemap(remap.data(), grid.indices.data(),
                                                      grid.indexCount, interleaved.data(),
                                                      vertexCount, 32);
    std::vector<float> vertices(8 * unique);
    std::vector<unsigned int> indices(grid.indexCount);
    meshopt_remapVertexBuffer(vertices.data(), interleaved.data(), vertexCount, 32, remap.data());
    meshopt_remapIndexBuffer(indices.data(), grid.indices.data(), grid.indexCount, remap.data());
    benchmark::DoNotOptimize(vertices.data());
    benchmark::DoNotOptimize(indices.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(vertexCount));
}

void BM_Repair_Closed1M(benchmark::State& state) {
  RunOnCopies(state, Sphere1M(), [](TideLinkMesh& mesh) { return repair(mesh, kDefaultRepairParams); });
}

void BM_Optimise_Closed1M(benchmark::State& state) {
  RunOnCopies(state, Sphere1M(), [](TideLinkMesh& mesh) { return optimise(mesh); });
}

}  // namespace

// The work runs on the task pool, so wall time is what counts.
BENCHMARK(BM_Optimise_Grid1M)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MeshoptWeld_Grid1M)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Repair_Closed1M)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Optimise_Closed1M)->Unit(benchmark::kMillisecond)->UseRealTime();
