#pragma once

#include <functional>
#include <string>
#include <vector>

// The options of one COLLADA export. Plain data, copied into the writer.
struct ColladaExportOptions {
  // Full path of the file to write; empty writes nothing.
  std::u16string path;
  // Textures from image files: copied into the textures folder (true) or referenced in place.
  bool copyTextures = true;
  // Writes the invisible marker geometry and one marker node per 16-value entry of nodeTransforms.
  bool exportNodes = false;
  // Welds duplicate vertices of each surface before writing; recorded in the file.
  bool optimizeSurfaces = false;
  // Name of the generating program, for the authoring-tool text.
  std::u16string generatorName;
  // One 4x4 transform per placed instance, rows in order; other sizes are skipped.
  std::vector<std::vector<float>> nodeTransforms;
  // Called on the writing thread at each of the eight stages, with the fraction done (0 to 1).
  std::function<void(float fraction, std::u16string message)> progress;
};
