#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace TideLinkGeometryUtils {

inline constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

// One triangle of a repair run. i0..i2 index the mesh; w0..w2 are the same corners after welding
// (the representative of each mesh vertex), so that triangles touching across duplicated
// vertices still find each other. Plain data without initialisers, so that a million of them
// can be allocated untouched and filled in parallel: whoever creates one sets every field.
//
// Only what the walks over the topology read lives here, 40 bytes: the edge keys follow from the
// welded corners (turning leaves their set unchanged), and the face normals, needed only at the
// end, are kept apart.
struct Triangle {
  uint32_t i0, i1, i2;
  // kNoIndex for a triangle that reaches past the vertices.
  uint32_t w0, w1, w2;
  // Index of the neighbouring triangle across each edge, kNoIndex for none.
  uint32_t neighbours[3];
  uint8_t visited;
  uint8_t oriented;

  uint32_t Welded(int corner) const { return corner == 0 ? w0 : corner == 1 ? w1 : w2; }
  bool ContainsWelded(uint32_t w) const { return w0 == w || w1 == w || w2 == w; }
  // Reverses the winding; the edge key set is unchanged by it.
  void Turn() {
    std::swap(i0, i1);
    std::swap(w0, w1);
  }
};

// Packs an undirected edge: the larger vertex in the high half, the smaller in the low half.
inline uint64_t EdgeKey(uint32_t a, uint32_t b) {
  return a > b ? (uint64_t(a) << 32) | b : (uint64_t(b) << 32) | a;
}

// One vertex as the octree sees it. key is only filled by optimise. Plain data, like Triangle.
struct Point {
  float x, y, z;
  uint64_t key;
};

// Allocator that leaves plain records uninitialised on resize, so that the parallel step that
// fills them is also the one that first touches their memory.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;
  }
  template <class U, class... Arguments>
  void construct(U* place, Arguments&&... arguments) {
    ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
  }
};

// Spatial subdivision of one run's points, so that duplicate vertices are searched for only among
// points in the same leaf. Identical positions always land in the same leaf; points that are only
// close may be split by a plane.
//
// Safe for any positions: points with a non-finite coordinate do not widen the bounding box, and a
// node whose points all share one position becomes a leaf at once, since no plane can split it.
class Octree {
public:
  struct Node {
    float centre[3] = {0.0f, 0.0f, 0.0f};
    float halfSize = 0.0f;
    std::array<std::unique_ptr<Node>, 8> children;
    // A leaf's points: positions [pointsBegin, pointsEnd) of the octree's point order.
    bool leaf = false;
    uint32_t pointsBegin = 0;
    uint32_t pointsEnd = 0;
  };

  // Indexed by octant code: bit 0 for x, bit 1 for y, bit 2 for z above the centre.
  static constexpr float kChildOffsets[8][3] = {
      {-0.5f, -0.5f, -0.5f}, {+0.5f, -0.5f, -0.5f}, {-0.5f, +0.5f, -0.5f}, {+0.5f, +0.5f, -0.5f},
      {-0.5f, -0.5f, +0.5f}, {+0.5f, -0.5f, +0.5f}, {-0.5f, +0.5f, +0.5f}, {+0.5f, +0.5f, +0.5f},
  };

  static uint32_t OctantCode(const float centre[3], float x, float y, float z) {
    return (x > centre[0] ? 1u : 0u) | (y > centre[1] ? 2u : 0u) | (z > centre[2] ? 4u : 0u);
  }

  // Depth limit for a run over vertexCount vertices: min(floor(sqrt(count) / 4), depthCap).
  static uint64_t DepthLimit(uint64_t vertexCount, uint64_t depthCap);

  // Box of the points' finite positions; `any` is false when no point is finite.
  struct Bounds {
    float lo[3];
    float hi[3];
    bool any = false;
  };
  static Bounds BoundingBox(std::span<const Point> points);

  // Builds the tree over points (at most 0xFFFFFFFE of them), splitting octants in parallel. The
  // points must stay alive and unchanged in position while the octree is used. The second form
  // takes a box already computed with BoundingBox.
  Octree(std::span<const Point> points, uint64_t leafCapacity, uint64_t depthCap);
  Octree(std::span<const Point> points, const Bounds& bounds, uint64_t leafCapacity,
         uint64_t depthCap);

  // The leaves' point lists (indices into the points given), depth first, children in octant order.
  std::vector<std::span<const uint32_t>> CollectLeaves() const;

  const Node& Root() const { return *root_; }
  uint64_t LeafCount() const { return leafCount_.load(); }
  uint64_t Depth() const { return depthLimit_; }

private:
  void Build(Node& node, uint32_t begin, uint32_t end, uint64_t depth);
  bool AllSamePosition(uint32_t begin, uint32_t end) const;

  std::span<const Point> points_;
  uint64_t leafCapacity_;
  uint64_t depthLimit_;
  std::unique_ptr<Node> root_;
  std::atomic<uint64_t> leafCount_{0};
  // Point indices, partitioned in place so that every node owns a contiguous range.
  std::vector<uint32_t> order_;
  std::vector<uint32_t> scratch_;
  std::vector<uint8_t> codes_;
};

}  // namespace TideLinkGeometryUtils
