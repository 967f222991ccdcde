#include "geometry/Octree.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/Parallel.h"

namespace TideLinkGeometryUtils {

namespace {

// Below this many points a node's children are built on the calling thread: a task costs more
// than the split.
constexpr uint32_t kSerialBuildPoints = 8192;

bool IsFinite(const Point& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

}  // namespace

uint64_t Octree::DepthLimit(uint64_t vertexCount, uint64_t depthCap) {
  const double limit = std::floor(std::sqrt(double(vertexCount)) * 0.25);
  return std::min(uint64_t(limit), depthCap);
}

Octree::Bounds Octree::BoundingBox(std::span<const Point> points) {
  // Only finite points span the box: one stray infinity would otherwise make every centre
  // infinite or NaN and leave the whole mesh in a single leaf.
  Bounds box;
  for (int a = 0; a < 3; ++a) {
    box.lo[a] = std::numeric_limits<float>::max();
    box.hi[a] = std::numeric_limits<float>::lowest();
  }
  for (const Point& p : points) {
    if (!IsFinite(p))
      continue;
    box.any = true;
    const float c[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      box.lo[a] = std::min(box.lo[a], c[a]);
      box.hi[a] = std::max(box.hi[a], c[a]);
    }
  }
  return box;
}

Octree::Octree(std::span<const Point> points, uint64_t leafCapacity, uint64_t depthCap)
    : Octree(points, BoundingBox(points), leafCapacity, depthCap) {}

Octree::Octree(std::span<const Point> points, const Bounds& box, uint64_t leafCapacity,
               uint64_t depthCap)
    : points_(points), leafCapacity_(leafCapacity),
      depthLimit_(DepthLimit(points.size(), depthCap)), root_(std::make_unique<Node>()) {
  if (box.any) {
    const float* lo = box.lo;
    const float* hi = box.hi;
    float half = 0.0f;
    for (int a = 0; a < 3; ++a) {
      float centre = lo[a] + (hi[a] - lo[a]) / 2;
      float halfExtent = (hi[a] - lo[a]) / 2;
      if (!std::isfinite(centre) || !std::isfinite(halfExtent)) {
        // The extent overflows a float only for boxes wider than the float range; double holds it.
        centre = float(double(lo[a]) + (double(hi[a]) - double(lo[a])) / 2);
        halfExtent = float((double(hi[a]) - double(lo[a])) / 2);
      }
      root_->centre[a] = centre;
      half = std::max(half, halfExtent);
    }
    root_->halfSize = half;
  }

  const uint32_t count = uint32_t(points_.size());
  order_.resize(count);
  for (uint32_t i = 0; i < count; ++i)
    order_[i] = i;
  scratch_.resize(count);
  codes_.resize(count);
  Build(*root_, 0, count, 0);
}

bool Octree::AllSamePosition(uint32_t begin, uint32_t end) const {
  const Point& first = points_[order_[begin]];
  for (uint32_t i = begin + 1; i < end; ++i) {
    const Point& p = points_[order_[i]];
    if (std::memcmp(&p.x, &first.x, sizeof(float)) != 0 ||
        std::memcmp(&p.y, &first.y, sizeof(float)) != 0 ||
        std::memcmp(&p.z, &first.z, sizeof(float)) != 0)
      return false;
  }
  return true;
}

void Octree::Build(Node& start, uint32_t begin, uint32_t end, uint64_t startDepth) {
  Node* node = &start;
  uint64_t depth = startDepth;
  // A split that sends every point to one octant is followed in this loop rather than by
  // recursion, so that clustered points cannot nest calls as deep as the depth limit.
  for (;;) {
    const uint32_t count = end - begin;
    if (count <= leafCapacity_ || depth >= depthLimit_)
      break;

    uint32_t counts[8] = {};
    for (uint32_t i = begin; i < end; ++i) {
      const Point& p = points_[order_[i]];
      const uint8_t code = uint8_t(OctantCode(node->centre, p.x, p.y, p.z));
      codes_[i] = code;
      ++counts[code];
    }

    auto makeChild = [&](uint32_t octant) {
      auto child = std::make_unique<Node>();
      for (int a = 0; a < 3; ++a)
        child->centre[a] = node->centre[a] + kChildOffsets[octant][a] * node->halfSize;
      child->halfSize = node->halfSize * 0.5f;
      Node* raw = child.get();
      node->children[octant] = std::move(child);
      return raw;
    };

    const uint32_t occupied = uint32_t(std::count_if(counts, counts + 8, [](uint32_t c) { return c > 0; }));
    if (occupied == 1) {
      // Points at one single position stay together through every later split: stop here.
      if (AllSamePosition(begin, end))
        break;
      const uint32_t octant = uint32_t(std::find_if(counts, counts + 8, [](uint32_t c) { return c > 0; }) - counts);
      node = makeChild(octant);
      ++depth;
      continue;
    }

    // Stable partition of the range by octant code.
    uint32_t childBegin[9];
    childBegin[0] = begin;
    for (int o = 0; o < 8; ++o)
      childBegin[o + 1] = childBegin[o] + counts[o];
    uint32_t cursor[8];
    std::copy(childBegin, childBegin + 8, cursor);
    for (uint32_t i = begin; i < end; ++i)
      scratch_[cursor[codes_[i]]++] = order_[i];
    std::copy(scratch_.begin() + begin, scratch_.begin() + end, order_.begin() + begin);

    Node* children[8] = {};
    for (uint32_t o = 0; o < 8; ++o)
      if (counts[o] > 0)
        children[o] = makeChild(o);
    auto buildChild = [&](uint32_t o) {
      if (children[o])
        Build(*children[o], childBegin[o], childBegin[o + 1], depth + 1);
    };
    if (count < kSerialBuildPoints) {
      for (uint32_t o = 0; o < 8; ++o)
        buildChild(o);
    } else {
      platform::ParallelFor(0, 8, 1, [&](size_t begin, size_t end) {
        for (size_t o = begin; o < end; ++o)
          buildChild(uint32_t(o));
      });
    }
    return;
  }

  node->leaf = true;
  node->pointsBegin = begin;
  node->pointsEnd = end;
  leafCount_.fetch_add(1, std::memory_order_relaxed);
}

std::vector<std::span<const uint32_t>> Octree::CollectLeaves() const {
  std::vector<std::span<const uint32_t>> leaves;
  leaves.reserve(leafCount_.load());
  // Explicit stack: the walk must not depend on how deep the tree is.
  std::vector<const Node*> stack{root_.get()};
  while (!stack.empty()) {
    const Node* node = stack.back();
    stack.pop_back();
    if (node->leaf) {
      if (node->pointsEnd > node->pointsBegin)
        leaves.emplace_back(order_.data() + node->pointsBegin, node->pointsEnd - node->pointsBegin);
      continue;
    }
    for (int o = 7; o >= 0; --o)
      if (node->children[o])
        stack.push_back(node->children[o].get());
  }
  return leaves;
}

}  // namespace TideLinkGeometryUtils
