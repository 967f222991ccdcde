#pragma once

#include <cstddef>
#include <cstdint>

// 128-bit host identifier of a geometry, instance or material.
struct SceneId {
  uint64_t low = 0;
  uint64_t high = 0;

  bool operator==(const SceneId&) const = default;
};

// "No id yet"; the same value names the default material.
inline constexpr SceneId kNoSceneId{0, ~uint64_t{0}};

// (low × 31) XOR high, reduced by the tables that use it to a power-of-two bucket count.
struct SceneIdHash {
  size_t operator()(const SceneId& id) const noexcept {
    return static_cast<size_t>((id.low * 31u) ^ id.high);
  }
};
