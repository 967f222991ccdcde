#pragma once

#include <cstdint>

// Parameters of one geometry run (optimise or repair). The member defaults are the default block;
// optimise always runs with it.
struct repairParams {
  // A node with more points than this is split (while above the depth limit).
  uint64_t leafCapacity = 2000;
  // Upper bound of the octree depth; the depth limit also shrinks with the vertex count.
  uint64_t depthCap = 350;
  // Record each step's duration (MeshProcessor::Timings).
  uint8_t collectTimings = 0;
  // Repair keeps each vertex's own normal, only turning it to the repaired side.
  uint8_t keepNormals = 1;
  // Repair turns a closed mesh so that it encloses a positive volume.
  uint8_t orientOutward = 1;
};

// Used by optimise, and by repair of a solid geometry.
inline constexpr repairParams kDefaultRepairParams{};

// Used by repair of each surface on its own: the surfaces of a non-solid geometry need not be
// closed, so no outward test.
inline constexpr repairParams kPerSurfaceRepairParams{2000, 350, 0, 1, 0};
