#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/Octree.h"
#include "geometry/RepairParams.h"
#include "geometry/TideLinkMesh.h"

// One run of optimise or repair over one mesh. Build one per run from a parameter block; runs on
// different meshes may go on at the same time, each with its own processor.
//
// Both operations accept any mesh. A mesh whose arrays do not match its counts, or that has
// 0xFFFFFFFF vertices or triangles or more, is left untouched (result false). A triangle with an
// index at or above the vertex count, and a trailing index group shorter than three, is left
// exactly as it was and takes no part in welding, neighbours, orientation or normals.
class MeshProcessor {
public:
  struct StepTiming {
    std::string step;
    double seconds = 0.0;
  };

  explicit MeshProcessor(const repairParams& block);

  // Merges vertices with equal position, normal and UVs and drops vertices no triangle uses.
  // Keeps the triangle count and order; the vertex count falls by the number merged, and slots
  // past the last used vertex are zero. Returns true when at least one vertex was merged;
  // otherwise the mesh is unchanged.
  bool Optimise(TideLinkMesh& mesh);

  // Makes the winding consistent across shared edges (welding vertices closer than 1.1920929e-7),
  // turns a closed mesh outward when the block asks for it, and sets the normals to match. Keeps
  // vertex count, order and positions and triangle count and order, so a caller may copy normals
  // and indices back by ranges. Returns true when a triangle was turned to make winding agree.
  bool Repair(TideLinkMesh& mesh);

  // Each step's duration of the last run, when the block set collectTimings.
  const std::vector<StepTiming>& Timings() const { return timings_; }
  // Vertices matched to an earlier one in the last run.
  uint64_t MergedCount() const { return merged_.load(); }
  // The signed volume summed by the last repair with orientOutward.
  float EnclosedVolume() const;

private:
  enum class Match { Key, Epsilon };
  struct KeyEntry;
  struct KeySlot;

  bool Accepts(const TideLinkMesh& mesh) const;
  void CreatePoints();
  void ComputeKeys();
  void MatchLeaves(const TideLinkGeometryUtils::Octree& octree, Match match);
  bool MatchLeafByKeyTable(std::span<const uint32_t> leaf, std::vector<KeySlot>& table);
  void MatchLeafByKey(std::span<const uint32_t> leaf, std::vector<KeyEntry>& scratch);
  void MatchLeafByEpsilon(std::span<const uint32_t> leaf, std::vector<uint64_t>& scratch);
  void CreateTriangles();
  // Triangle numbers of every welded vertex's incident list, one list after another.
  using IncidentArray =
      std::vector<uint32_t, TideLinkGeometryUtils::UninitialisedAllocator<uint32_t>>;
  void BuildIncidentLists(std::vector<uint64_t>& incidentBegin, IncidentArray& incident);
  void FindNeighbours(const std::vector<uint64_t>& incidentBegin, const IncidentArray& incident);
  uint64_t OrientWinding();
  void AddToEnclosedVolume(float amount);
  void StartTimer();
  void Lap(const char* step);

  const float negate_[4] = {-1.0f, -1.0f, -1.0f, 1.0f};
  uint64_t leafCapacity_;
  uint64_t depthCap_;
  TideLinkMesh* mesh_ = nullptr;
  // Bit pattern of a float, added to by compare-and-swap.
  std::atomic<uint32_t> enclosedVolume_{0};
  std::vector<TideLinkGeometryUtils::Triangle,
              TideLinkGeometryUtils::UninitialisedAllocator<TideLinkGeometryUtils::Triangle>>
      triangles_;
  // Three floats per triangle, written in step 5 for every triangle that stays in the run.
  std::vector<float, TideLinkGeometryUtils::UninitialisedAllocator<float>> faceNormals_;
  std::vector<TideLinkGeometryUtils::Point,
              TideLinkGeometryUtils::UninitialisedAllocator<TideLinkGeometryUtils::Point>>
      points_;
  std::vector<uint32_t> representative_;
  std::atomic<uint64_t> merged_{0};
  bool collectTimings_;
  bool keepNormals_;
  bool orientOutward_;
  std::chrono::steady_clock::time_point start_;
  std::vector<StepTiming> timings_;
};

// optimise with a fresh processor; true when at least one vertex was merged.
bool optimise(TideLinkMesh& mesh, const repairParams& block = kDefaultRepairParams);

// repair with a fresh processor; true when at least one triangle was turned.
bool repair(TideLinkMesh& mesh, const repairParams& block);
