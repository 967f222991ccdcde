#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/renderer/MirroredScene.h"

// A z-buffered software picture of the mirrored surfaces in their colours, seen from the link's
// camera when it has one, else from above and in front of the whole scene.
struct SnapshotImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;  // row by row, top first
};

SnapshotImage RenderSnapshot(const MirroredScene& scene, uint32_t width, uint32_t height);
// False when the file cannot be written; nothing partial is left then.
bool SaveSnapshotPng(const SnapshotImage& image, const std::string& path);
