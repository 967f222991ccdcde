#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// What the renderer has mirrored of one link document: plain copies of what it read and checked,
// so that nothing after the reader touches the other process's memory.

// A read-only list that every read finding it unchanged shares instead of copying.
template <class Item>
class SharedList {
public:
  SharedList() = default;
  SharedList(std::vector<Item> items) : items_(std::make_shared<const std::vector<Item>>(std::move(items))) {}
  SharedList(std::initializer_list<Item> items) : SharedList(std::vector<Item>(items)) {}

  const std::vector<Item>& items() const {
    static const std::vector<Item> none;
    return items_ ? *items_ : none;
  }
  size_t size() const { return items().size(); }
  bool empty() const { return items().empty(); }
  const Item& operator[](size_t index) const { return items()[index]; }
  typename std::vector<Item>::const_iterator begin() const { return items().begin(); }
  typename std::vector<Item>::const_iterator end() const { return items().end(); }
  friend bool operator==(const SharedList& left, const SharedList& right) { return left.items() == right.items(); }

private:
  std::shared_ptr<const std::vector<Item>> items_;
};

struct MirroredTexture {
  uint32_t stamp = 0;
  std::u16string path;    // a file the plug-in points at
  uint32_t segment = 0;   // or an image in a segment
  uint32_t width = 0;     // of the image, when it could be read
  uint32_t height = 0;
  bool hasAlpha = false;
  SharedList<uint8_t> rgba;  // width × height pixels, R G B A, rows top first; empty when unreadable

  bool empty() const { return path.empty() && segment == 0; }
};

struct MirroredSurface {
  uint32_t recordId = 0;
  uint32_t version = 0;
  uint32_t materialVersion = 0;
  uint32_t meshVersion = 0;
  std::u16string name;
  uint32_t surfaceType = 0;
  std::u16string libraryId;
  uint32_t color = 0;  // ARGB
  std::array<float, 8> params{};
  std::array<MirroredTexture, 2> textures;
  uint32_t meshSegment = 0;
  uint32_t vertexCount = 0;
  SharedList<float> positions;     // x y z per vertex, link coordinates
  SharedList<float> uvs;           // u v per vertex of the first UV set; empty when the mesh has none
  SharedList<uint32_t> indices;    // three per triangle, each below vertexCount

  size_t triangleCount() const { return indices.size() / 3; }
};

struct MirroredCamera {
  bool enabled = false;
  std::array<float, 16> matrix{};  // rows: right, up, direction, eye position
  float fieldOfView = 0;           // horizontal, degrees
};

struct MirroredScene {
  std::u16string documentName;
  uint32_t headerVersion = 0;
  uint32_t commitCount = 0;
  bool closedByRenderer = false;
  std::vector<MirroredSurface> surfaces;  // in record order
  std::vector<uint32_t> removedSurfaceIds;
  MirroredCamera camera;
  std::vector<std::string> problems;  // every record or segment that was rejected, and why
};
