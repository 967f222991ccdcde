#pragma once

#include <cstdint>
#include <string>

class TextureSlot;

// One surface prepared for the COLLADA file: every text is UTF-8 and ready to splice into the
// XML as it stands (names escaped, number lists formatted), so that writing formats nothing per
// vertex. Plain data; built by TideLinkSurfaceImpl::BuildExportNode.
struct ExportNode {
  std::string id;           // upper-case hexadecimal, unique within the process; base of every id
  std::string name;         // XML-escaped surface name
  std::string libraryId;    // XML-escaped, may be empty
  std::string surfaceType;  // "water" ... "waterfall", or empty
  uint32_t diffuseColor = 0xFFAAAAAA;  // red in bits 16-23, green 8-15, blue 0-7
  uint32_t specularColor = 0xFFAAAAAA;
  float opacity = 0.0f;
  float shininess = 1.0f;
  uint32_t vertexCount = 0;
  uint32_t indexCount = 0;
  std::string positionsText;  // "x z y " per vertex, each "%0.3f"
  std::string normalsText;    // as positions
  std::string uvText;         // "u 1-v " per vertex, first UV set
  std::string indexText;      // "i " per index
  // The surface's colour texture, or null. Not owned: the surface outlives the export.
  const TextureSlot* texture = nullptr;
  // Reference to the exported image as written into the file; set when the image is exported.
  std::string imagePath;
};
