#include "geometry/MeshProcessor.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>

// Gives the streaming state a known size, so it can live on the stack.
#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

#include "platform/Parallel.h"

using TideLinkGeometryUtils::EdgeKey;
using TideLinkGeometryUtils::kNoIndex;
using TideLinkGeometryUtils::Octree;
using TideLinkGeometryUtils::Point;
using TideLinkGeometryUtils::Triangle;

namespace {

constexpr float kEpsilon = 1.1920929e-7f;
// Three epsilons: the x range searched backwards in a sorted leaf.
constexpr float kWindow = 3.5762787e-7f;
// A leaf this large (only when every point shares one spot) is sorted by the whole pool.
constexpr size_t kParallelSortPoints = 1 << 16;

// Maps a float onto an unsigned integer that orders like the float, with NaNs at the ends, so that
// sorting never sees a comparison that is not a strict weak order.
uint32_t SortableBits(float value) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

bool IsFinite(const Point& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Unit vector; (0, 0, 0) for a zero vector and NaN for an infinite one.
void Normalise(const float v[3], float out[3]) {
  const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length == 0.0f) {
    out[0] = out[1] = out[2] = 0.0f;
  } else if (std::isinf(length)) {
    out[0] = out[1] = out[2] = std::numeric_limits<float>::quiet_NaN();
  } else {
    out[0] = v[0] / length;
    out[1] = v[1] / length;
    out[2] = v[2] / length;
  }
}

}  // namespace

// A leaf's point as its matching sorts it: the x order first.
struct MeshProcessor::KeyEntry {
  uint32_t xOrder;
  uint32_t point;
  uint64_t key;
};

// One key of a leaf in the open-addressed table of the fast key matching; empty while first is
// kNoIndex.
struct MeshProcessor::KeySlot {
  uint64_t key;
  uint32_t first;
  uint32_t xBits;
};

MeshProcessor::MeshProcessor(const repairParams& block)
    : leafCapacity_(block.leafCapacity), depthCap_(block.depthCap),
      collectTimings_(block.collectTimings != 0), keepNormals_(block.keepNormals != 0),
      orientOutward_(block.orientOutward != 0) {}

float MeshProcessor::EnclosedVolume() const {
  return std::bit_cast<float>(enclosedVolume_.load());
}

bool MeshProcessor::Accepts(const TideLinkMesh& mesh) const {
  const uint64_t vertices = mesh.vertexCount;
  // Vertex and triangle numbers are 32-bit with 0xFFFFFFFF kept for "none".
  if (vertices >= kNoIndex || mesh.indexCount / 3 >= kNoIndex)
    return false;
  if (mesh.positions.size() != 3 * vertices || mesh.normals.size() != 3 * vertices)
    return false;
  if (vertices > 0 && mesh.uvSetCount > (std::numeric_limits<size_t>::max() / 2) / vertices)
    return false;
  return mesh.uvs.size() == 2 * vertices * mesh.uvSetCount &&
         mesh.indices.size() == mesh.indexCount;
}

void MeshProcessor::StartTimer() {
  timings_.clear();
  if (collectTimings_)
    start_ = std::chrono::steady_clock::now();
}

void MeshProcessor::Lap(const char* step) {
  if (!collectTimings_)
    return;
  const auto now = std::chrono::steady_clock::now();
  timings_.push_back({step, std::chrono::duration<double>(now - start_).count()});
  start_ = now;
}

void MeshProcessor::AddToEnclosedVolume(float amount) {
  uint32_t expected = enclosedVolume_.load(std::memory_order_relaxed);
  while (!enclosedVolume_.compare_exchange_weak(
      expected, std::bit_cast<uint32_t>(std::bit_cast<float>(expected) + amount)))
    ;
}

void MeshProcessor::CreatePoints() {
  const uint64_t count = mesh_->vertexCount;
  points_.resize(count);
  representative_.resize(count);
  const float* positions = mesh_->positions.data();
  platform::ParallelFor(0, count, 16384, [&](size_t begin, size_t end) {
    for (uint64_t v = begin; v != end; ++v) {
      points_[v] = {positions[3 * v], positions[3 * v + 1], positions[3 * v + 2], 0};
      representative_[v] = kNoIndex;
    }
  });
}

void MeshProcessor::ComputeKeys() {
  const uint64_t count = mesh_->vertexCount;
  const uint64_t uvSets = mesh_->uvSetCount;
  const float* positions = mesh_->positions.data();
  const float* normals = mesh_->normals.data();
  const float* uvs = mesh_->uvs.data();
  platform::ParallelFor(0, count, 16384, [&](size_t begin, size_t end) {
    for (uint64_t v = begin; v != end; ++v) {
      if (uvSets == 1) {
        // The usual record: position, normal, UV, 32 bytes.
        float record[8];
        std::memcpy(record, positions + 3 * v, 3 * sizeof(float));
        std::memcpy(record + 3, normals + 3 * v, 3 * sizeof(float));
        std::memcpy(record + 6, uvs + 2 * v, 2 * sizeof(float));
        points_[v].key = XXH3_64bits(record, sizeof(record));
      } else {
        // Any other number of UV sets: the same fields with all of the vertex's UVs.
        XXH3_state_t state;
        XXH3_64bits_reset(&state);
        XXH3_64bits_update(&state, positions + 3 * v, 3 * sizeof(float));
        XXH3_64bits_update(&state, normals + 3 * v, 3 * sizeof(float));
        if (uvSets > 0)
          XXH3_64bits_update(&state, uvs + 2 * uvSets * v, 2 * uvSets * sizeof(float));
        points_[v].key = XXH3_64bits_digest(&state);
      }
    }
  });
}

// Matching on keys without sorting, for the usual leaf: one whose points come in ascending order
// (as the octree's stable partition lists them) and in which no key comes with two x values. Then
// the sorted walk below can only ever match a point to an earlier point of its own x run with
// its key, which is the lowest-numbered point with that key, and that point is its own
// representative. A hash table of first points gives the same representatives and count without
// the sort. Returns false, with the leaf's representatives back at kNoIndex, for any other leaf.
bool MeshProcessor::MatchLeafByKeyTable(std::span<const uint32_t> leaf,
                                        std::vector<KeySlot>& table) {
  const size_t count = leaf.size();
  size_t capacity = 16;
  while (capacity < 2 * count)
    capacity *= 2;
  if (table.size() < capacity)
    table.resize(capacity);
  std::memset(static_cast<void*>(table.data()), 0xFF, capacity * sizeof(KeySlot));
  const size_t mask = capacity - 1;
  KeySlot* slots = table.data();
  uint64_t merged = 0;
  size_t i = 0;
  for (; i < count; ++i) {
    const uint32_t point = leaf[i];
    if (i > 0 && point <= leaf[i - 1])
      break;
    const Point& p = points_[point];
    const uint32_t xBits = std::bit_cast<uint32_t>(p.x);
    size_t s = size_t(p.key) & mask;
    while (slots[s].first != kNoIndex && slots[s].key != p.key)
      s = (s + 1) & mask;
    KeySlot& slot = slots[s];
    if (slot.first == kNoIndex) {
      slot = {p.key, point, xBits};
      representative_[point] = point;
    } else if (slot.xBits == xBits) {
      representative_[point] = slot.first;
      ++merged;
    } else {
      break;  // a key shared across x values: only the sorted walk decides those
    }
  }
  if (i < count) {
    for (size_t j = 0; j < i; ++j)
      representative_[leaf[j]] = kNoIndex;
    return false;
  }
  merged_.fetch_add(merged, std::memory_order_relaxed);
  return true;
}

// Matching on keys: a point takes the representative of the nearest earlier point in x order
// (within the x window) whose key equals its own. Sorting by key within equal x makes equal keys
// of one x adjacent, so each run of equal x costs one comparison or one binary search rather
// than a scan.
void MeshProcessor::MatchLeafByKey(std::span<const uint32_t> leaf, std::vector<KeyEntry>& scratch) {
  const size_t count = leaf.size();
  scratch.resize(count);
  KeyEntry* entries = scratch.data();
  for (size_t i = 0; i < count; ++i) {
    const Point& p = points_[leaf[i]];
    entries[i] = {SortableBits(p.x), leaf[i], p.key};
  }
  auto before = [](const KeyEntry& a, const KeyEntry& b) {
    if (a.xOrder != b.xOrder)
      return a.xOrder < b.xOrder;
    if (a.key != b.key)
      return a.key < b.key;
    return a.point < b.point;
  };
  if (count >= kParallelSortPoints)
    platform::ParallelSort(entries, entries + count, before);
  else
    std::sort(entries, entries + count, before);

  std::vector<uint32_t> runStart(count);
  uint64_t merged = 0;
  for (size_t i = 0; i < count; ++i) {
    runStart[i] = (i > 0 && entries[i - 1].xOrder == entries[i].xOrder) ? runStart[i - 1] : uint32_t(i);
    const uint32_t point = entries[i].point;
    if (representative_[point] != kNoIndex)
      continue;
    const float x = points_[point].x;
    const uint64_t key = entries[i].key;
    uint32_t match = kNoIndex;
    if (i > 0 && entries[i - 1].xOrder == entries[i].xOrder && entries[i - 1].key == key) {
      match = entries[i - 1].point;
    } else if (std::isfinite(x)) {
      // Earlier runs of other x values inside the window; a NaN or an infinite x has no window
      // (it would span the whole leaf), and equal records have equal x bits anyway.
      const float lower = x - kWindow;
      for (size_t j = runStart[i]; j > 0 && match == kNoIndex;) {
        const size_t last = j - 1;
        if (!(points_[entries[last].point].x >= lower))
          break;
        const size_t first = runStart[last];
        const KeyEntry* found = std::lower_bound(
            entries + first, entries + last + 1, key,
            [](const KeyEntry& e, uint64_t k) { return e.key < k; });
        if (found != entries + last + 1 && found->key == key)
          match = found->point;
        j = first;
      }
    }
    if (match == kNoIndex) {
      representative_[point] = point;
    } else {
      representative_[point] = representative_[match];
      ++merged;
    }
  }
  merged_.fetch_add(merged, std::memory_order_relaxed);
}

// Matching on positions: a point takes the representative of the nearest earlier point in x
// order whose coordinates all differ by less than the epsilon.
void MeshProcessor::MatchLeafByEpsilon(std::span<const uint32_t> leaf,
                                       std::vector<uint64_t>& scratch) {
  // x order in the high half and the point in the low half: sorting plain integers gives the
  // order of x, then point, at a fraction of the cost of a comparison function.
  const size_t count = leaf.size();
  scratch.resize(count);
  uint64_t* entries = scratch.data();
  for (size_t i = 0; i < count; ++i)
    entries[i] = (uint64_t(SortableBits(points_[leaf[i]].x)) << 32) | leaf[i];
  if (count >= kParallelSortPoints)
    platform::ParallelSort(entries, entries + count);
  else
    std::sort(entries, entries + count);
  auto pointAt = [entries](size_t i) { return uint32_t(entries[i]); };

  uint64_t merged = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t point = pointAt(i);
    if (representative_[point] != kNoIndex)
      continue;
    const Point& p = points_[point];
    uint32_t match = kNoIndex;
    // A non-finite coordinate never passes the epsilon test, so such a point needs no search.
    if (IsFinite(p)) {
      const float lower = p.x - kWindow;
      for (size_t j = i; j > 0; --j) {
        const Point& q = points_[pointAt(j - 1)];
        if (!(q.x >= lower))
          break;
        if (std::fabs(q.x - p.x) < kEpsilon && std::fabs(q.y - p.y) < kEpsilon &&
            std::fabs(q.z - p.z) < kEpsilon) {
          match = pointAt(j - 1);
          break;
        }
      }
    }
    if (match == kNoIndex) {
      representative_[point] = point;
    } else {
      representative_[point] = representative_[match];
      ++merged;
    }
  }
  merged_.fetch_add(merged, std::memory_order_relaxed);
}

void MeshProcessor::MatchLeaves(const Octree& octree, Match match) {
  const auto leaves = octree.CollectLeaves();
  // Each leaf writes only the representatives of its own points, so leaves run independently.
  auto matchRange = [&](size_t begin, size_t end) {
    std::vector<KeySlot> keyTable;
    std::vector<KeyEntry> keyScratch;
    std::vector<uint64_t> epsilonScratch;
    for (size_t l = begin; l < end; ++l) {
      if (match == Match::Epsilon)
        MatchLeafByEpsilon(leaves[l], epsilonScratch);
      else if (!MatchLeafByKeyTable(leaves[l], keyTable))
        MatchLeafByKey(leaves[l], keyScratch);
    }
  };
  if (leaves.size() <= 1)
    matchRange(0, leaves.size());
  else
    platform::ParallelFor(0, leaves.size(), 1, matchRange);
}

bool MeshProcessor::Optimise(TideLinkMesh& mesh) {
  StartTimer();
  merged_ = 0;
  if (!Accepts(mesh) || mesh.vertexCount == 0)
    return false;
  mesh_ = &mesh;
  const uint64_t vertexCount = mesh.vertexCount;

  CreatePoints();
  std::optional<Octree> octree;
  // The keys and the tree touch different fields of the point records.
  platform::ParallelInvoke([&] { ComputeKeys(); },
                       [&] { octree.emplace(points_, leafCapacity_, depthCap_); });
  Lap("keys and octree");
  MatchLeaves(*octree, Match::Key);
  octree.reset();
  Lap("matching");

  const uint64_t merged = merged_.load();
  if (merged == 0)
    return false;

  // Renumber in order of first use. Every point is either its own representative or merged, so
  // the used representatives always fit the new count.
  const uint64_t newCount = vertexCount - merged;
  const uint64_t uvFloats = 2 * mesh.uvSetCount;
  std::vector<float> positions(3 * newCount, 0.0f);
  std::vector<float> normals(3 * newCount, 0.0f);
  std::vector<float> uvs(uvFloats * newCount, 0.0f);
  std::vector<uint32_t> newNumber(vertexCount, kNoIndex);
  uint32_t next = 0;
  uint32_t* indices = mesh.indices.data();
  const uint64_t triangleCount = mesh.indexCount / 3;
  for (uint64_t t = 0; t < triangleCount; ++t) {
    uint32_t* corner = indices + 3 * t;
    if (corner[0] >= vertexCount || corner[1] >= vertexCount || corner[2] >= vertexCount)
      continue;
    for (int k = 0; k < 3; ++k) {
      const uint32_t r = representative_[corner[k]];
      if (newNumber[r] == kNoIndex) {
        newNumber[r] = next;
        std::memcpy(&positions[3 * uint64_t(next)], &mesh.positions[3 * uint64_t(r)], 3 * sizeof(float));
        std::memcpy(&normals[3 * uint64_t(next)], &mesh.normals[3 * uint64_t(r)], 3 * sizeof(float));
        if (uvFloats > 0)
          std::memcpy(&uvs[uvFloats * next], &mesh.uvs[uvFloats * r], uvFloats * sizeof(float));
        ++next;
      }
      corner[k] = newNumber[r];
    }
  }
  mesh.vertexCount = newCount;
  mesh.positions = std::move(positions);
  mesh.normals = std::move(normals);
  mesh.uvs = std::move(uvs);
  Lap("renumbering");
  return true;
}

void MeshProcessor::CreateTriangles() {
  const uint64_t vertexCount = mesh_->vertexCount;
  const uint64_t triangleCount = mesh_->indexCount / 3;
  triangles_.resize(triangleCount);
  const uint32_t* indices = mesh_->indices.data();
  platform::ParallelFor(0, triangleCount, 16384, [&](size_t begin, size_t end) {
    for (uint64_t t = begin; t != end; ++t) {
      Triangle& tri = triangles_[t];
      tri = Triangle{indices[3 * t], indices[3 * t + 1], indices[3 * t + 2],
                     kNoIndex, kNoIndex, kNoIndex, {kNoIndex, kNoIndex, kNoIndex}, 0, 0};
      // A triangle that reaches outside the vertices keeps kNoIndex welded corners and both
      // flags: it is left out of every later step.
      if (tri.i0 >= vertexCount || tri.i1 >= vertexCount || tri.i2 >= vertexCount)
        tri.visited = tri.oriented = 1;
    }
  });
}

// Welded corners, and for each welded vertex the triangles that touch it in triangle order, in
// one flat array sized from the counts. The two passes stay on one thread: plain increments in
// triangle order cost less than atomic ones plus sorting each list afterwards, and blocks of
// triangles with counters of their own gained nothing (the passes wait on memory, mostly fresh
// pages). The list starts double as the fill's cursors, so no copy of them is made.
void MeshProcessor::BuildIncidentLists(std::vector<uint64_t>& incidentBegin,
                                       IncidentArray& incident) {
  const uint64_t vertexCount = mesh_->vertexCount;
  const uint32_t triangleCount = uint32_t(triangles_.size());
  incidentBegin.assign(vertexCount + 1, 0);
  for (Triangle& tri : triangles_) {
    if (tri.visited)  // out of range
      continue;
    tri.w0 = representative_[tri.i0];
    tri.w1 = representative_[tri.i1];
    tri.w2 = representative_[tri.i2];
    ++incidentBegin[tri.w0 + 1];
    ++incidentBegin[tri.w1 + 1];
    ++incidentBegin[tri.w2 + 1];
  }
  // incidentBegin[v + 1] becomes the start of v's list, the fill's cursor for v; after the fill
  // it stands at the end of v's list, which is the start of the next one.
  uint64_t total = 0;
  for (uint64_t v = 0; v < vertexCount; ++v) {
    const uint64_t count = incidentBegin[v + 1];
    incidentBegin[v + 1] = total;
    total += count;
  }
  incident.resize(total);
  uint64_t* cursor = incidentBegin.data() + 1;
  for (uint32_t t = 0; t < triangleCount; ++t) {
    const Triangle& tri = triangles_[t];
    if (tri.w0 == kNoIndex)
      continue;
    incident[cursor[tri.w0]++] = t;
    incident[cursor[tri.w1]++] = t;
    incident[cursor[tri.w2]++] = t;
  }
}

void MeshProcessor::FindNeighbours(const std::vector<uint64_t>& incidentBegin,
                                   const IncidentArray& incident) {
  const uint64_t triangleCount = triangles_.size();
  platform::ParallelFor(0, triangleCount, 4096, [&](size_t begin, size_t end) {
    for (uint64_t t = begin; t != end; ++t) {
      Triangle& tri = triangles_[t];
      if (tri.w0 == kNoIndex)
        continue;
      for (int k = 0; k < 3; ++k) {
        const uint32_t a = tri.Welded(k);
        const uint32_t b = tri.Welded((k + 1) % 3);
        // The first triangle in a's list that also holds b is the lowest-numbered triangle
        // holding both, since lists are in triangle order; b's list gives the same one and may
        // be far shorter (the rim of a large fan).
        const uint64_t aCount = incidentBegin[a + 1] - incidentBegin[a];
        const uint64_t bCount = incidentBegin[b + 1] - incidentBegin[b];
        const uint32_t scanned = aCount <= bCount ? a : b;
        const uint32_t other = aCount <= bCount ? b : a;
        for (uint64_t e = incidentBegin[scanned]; e < incidentBegin[scanned + 1]; ++e) {
          const uint32_t candidate = incident[e];
          if (candidate == t)
            continue;
          bool taken = false;
          for (int m = 0; m < k; ++m)
            taken = taken || tri.neighbours[m] == candidate;
          if (taken || !triangles_[candidate].ContainsWelded(other))
            continue;
          tri.neighbours[k] = candidate;
          break;
        }
      }
    }
  });
}

// Walks each connected patch from its first triangle, turning every neighbour that runs a
// shared edge the same way as the triangle it was reached from. Returns the number of turns.
uint64_t MeshProcessor::OrientWinding() {
  uint64_t turns = 0;
  std::vector<uint32_t> stack;
  const uint32_t triangleCount = uint32_t(triangles_.size());
  for (uint32_t seed = 0; seed < triangleCount; ++seed) {
    if (triangles_[seed].visited || triangles_[seed].oriented)
      continue;
    stack.push_back(seed);
    while (!stack.empty()) {
      Triangle& tri = triangles_[stack.back()];
      stack.pop_back();
      if (tri.visited)
        continue;
      tri.visited = 1;
      // Each neighbour's edge keys once: turning a neighbour below leaves its key set as it was.
      uint64_t neighbourKeys[3][3] = {};
      for (int m = 0; m < 3; ++m) {
        const uint32_t candidate = tri.neighbours[m];
        if (candidate == kNoIndex)
          continue;
        const Triangle& c = triangles_[candidate];
        neighbourKeys[m][0] = EdgeKey(c.w0, c.w1);
        neighbourKeys[m][1] = EdgeKey(c.w1, c.w2);
        neighbourKeys[m][2] = EdgeKey(c.w2, c.w0);
      }
      for (int k = 0; k < 3; ++k) {
        const uint32_t a = tri.Welded(k);
        const uint32_t b = tri.Welded((k + 1) % 3);
        const uint64_t key = EdgeKey(a, b);
        uint32_t next = kNoIndex;
        for (int m = 0; m < 3; ++m) {
          const uint64_t* keys = neighbourKeys[m];
          if (tri.neighbours[m] != kNoIndex &&
              (keys[0] == key || keys[1] == key || keys[2] == key)) {
            next = tri.neighbours[m];
            break;
          }
        }
        if (next == kNoIndex)
          continue;
        Triangle& neighbour = triangles_[next];
        if (neighbour.visited || neighbour.oriented)
          continue;
        const bool runsBackwards = (neighbour.w0 == b && neighbour.w1 == a) ||
                                   (neighbour.w1 == b && neighbour.w2 == a) ||
                                   (neighbour.w2 == b && neighbour.w0 == a);
        if (!runsBackwards) {
          neighbour.Turn();
          ++turns;
        }
        neighbour.oriented = 1;
        stack.push_back(next);
      }
    }
  }
  return turns;
}

bool MeshProcessor::Repair(TideLinkMesh& mesh) {
  StartTimer();
  merged_ = 0;
  enclosedVolume_ = 0;
  if (!Accepts(mesh))
    return false;
  mesh_ = &mesh;
  const uint64_t vertexCount = mesh.vertexCount;
  const uint64_t triangleCount = mesh.indexCount / 3;

  // 1. Triangles beside points and box; then the tree and matching on positions.
  Octree::Bounds box;
  platform::ParallelInvoke(
      [&] {
        CreatePoints();
        box = Octree::BoundingBox(points_);
      },
      [&] { CreateTriangles(); });
  Lap("points and triangles");
  {
    Octree octree(points_, box, leafCapacity_, depthCap_);
    Lap("octree");
    MatchLeaves(octree, Match::Epsilon);
  }
  Lap("matching");

  // 2. Welded corners and incident lists.
  std::vector<uint64_t> incidentBegin;
  IncidentArray incident;
  BuildIncidentLists(incidentBegin, incident);
  Lap("incident lists");

  // 3. Neighbours.
  FindNeighbours(incidentBegin, incident);
  Lap("neighbours");

  // 4. Consistent winding.
  const uint64_t turns = OrientWinding();
  Lap("winding");

  // 5. Face normals, and the enclosed volume as the sum of x * n.x over the surface. The sum
  // runs in a fixed tree of ranges so that its rounding, and so the outward decision, does not
  // depend on how many workers took part.
  const float* positions = mesh.positions.data();
  faceNormals_.resize(3 * triangleCount);
  const float volume = platform::ParallelReduce(
      0, triangleCount, 8192, 0.0f,
      [&](size_t begin, size_t end, float sum) {
        for (uint64_t t = begin; t != end; ++t) {
          const Triangle& tri = triangles_[t];
          if (tri.w0 == kNoIndex)
            continue;
          const float* p0 = positions + 3 * uint64_t(tri.i0);
          const float* p1 = positions + 3 * uint64_t(tri.i1);
          const float* p2 = positions + 3 * uint64_t(tri.i2);
          const float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
          const float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
          const float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                  e1[0] * e2[1] - e1[1] * e2[0]};
          float* faceNormal = &faceNormals_[3 * t];
          Normalise(cross, faceNormal);
          if (orientOutward_) {
            const float area =
                0.5f * std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
            const float contribution = area * ((p0[0] + p1[0] + p2[0]) / 3) * faceNormal[0];
            // A triangle with non-finite corners says nothing about the volume; letting its NaN
            // through would turn the whole mesh inside out.
            if (std::isfinite(contribution))
              sum += contribution;
          }
        }
        return sum;
      },
      [](float left, float right) { return left + right; });
  if (orientOutward_)
    AddToEnclosedVolume(volume);
  Lap("face normals");

  // 6-7. Orientation and written indices.
  const bool positive = !orientOutward_ || EnclosedVolume() > kEpsilon;
  uint32_t* indices = mesh.indices.data();
  platform::ParallelFor(0, triangleCount, 16384, [&](size_t begin, size_t end) {
    for (uint64_t t = begin; t != end; ++t) {
      const Triangle& tri = triangles_[t];
      if (tri.w0 == kNoIndex)
        continue;  // left exactly as it was
      indices[3 * t] = positive ? tri.i0 : tri.i1;
      indices[3 * t + 1] = positive ? tri.i1 : tri.i0;
      indices[3 * t + 2] = tri.i2;
    }
  });
  Lap("indices");

  // 7-8. Vertex normals: the face normals of the triangles at each mesh vertex, summed in
  // triangle order. Those triangles are all in the incident list of the vertex's representative
  // (in triangle order, a triangle repeated where its welded corners repeat), so each vertex can
  // sum on its own with the same additions in the same order as one pass over the triangles.
  // Where many vertices share a representative that would read the same long list again and
  // again; then the pass over the triangles is the cheaper one.
  float* normals = mesh.normals.data();
  const uint64_t listReads = platform::ParallelReduce(
      0, vertexCount, 16384, uint64_t(0),
      [&](size_t begin, size_t end, uint64_t reads) {
        for (uint64_t v = begin; v != end; ++v)
          reads += incidentBegin[representative_[v] + 1] - incidentBegin[representative_[v]];
        return reads;
      },
      std::plus<uint64_t>());
  std::vector<float> accumulated;
  if (listReads > 2 * incident.size() + vertexCount) {
    accumulated.assign(3 * vertexCount, 0.0f);
    for (uint64_t t = 0; t < triangleCount; ++t) {
      const Triangle& tri = triangles_[t];
      if (tri.w0 == kNoIndex)
        continue;
      for (uint32_t corner : {tri.i0, tri.i1, tri.i2})
        for (int a = 0; a < 3; ++a)
          accumulated[3 * uint64_t(corner) + a] += faceNormals_[3 * t + a];
    }
  }
  platform::ParallelFor(0, vertexCount, 16384, [&](size_t begin, size_t end) {
    for (uint64_t v = begin; v != end; ++v) {
      float sum[3] = {0.0f, 0.0f, 0.0f};
      if (!accumulated.empty()) {
        std::memcpy(sum, &accumulated[3 * v], sizeof(sum));
      } else {
        const uint32_t welded = representative_[v];
        uint32_t previous = kNoIndex;
        for (uint64_t e = incidentBegin[welded]; e < incidentBegin[welded + 1]; ++e) {
          const uint32_t t = incident[e];
          if (t == previous)
            continue;
          previous = t;
          const Triangle& tri = triangles_[t];
          for (uint32_t corner : {tri.i0, tri.i1, tri.i2})
            if (corner == v)
              for (int a = 0; a < 3; ++a)
                sum[a] += faceNormals_[3 * uint64_t(t) + a];
        }
      }
      float n[3];
      Normalise(sum, n);
      if (!positive)
        for (int a = 0; a < 3; ++a)
          n[a] *= negate_[a];
      float* own = normals + 3 * v;
      if (!keepNormals_) {
        std::memcpy(own, n, sizeof(n));
      } else if (own[0] * n[0] + own[1] * n[1] + own[2] * n[2] < 0.0f) {
        for (int a = 0; a < 3; ++a)
          own[a] = -own[a];
      }
    }
  });
  Lap("vertex normals");

  return turns > 0;
}

bool optimise(TideLinkMesh& mesh, const repairParams& block) {
  MeshProcessor processor(block);
  return processor.Optimise(mesh);
}

bool repair(TideLinkMesh& mesh, const repairParams& block) {
  MeshProcessor processor(block);
  return processor.Repair(mesh);
}
