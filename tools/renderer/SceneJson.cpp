#include "tools/renderer/SceneJson.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/TextConversion.h"

namespace {

void AppendString(std::string& json, std::string_view text) {
  json += '"';
  for (const char character : text) {
    switch (character) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (static_cast<unsigned char>(character) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", character);
          json += escaped;
        } else {
          json += character;
        }
    }
  }
  json += '"';
}

void AppendString(std::string& json, std::u16string_view text) { AppendString(json, platform::Utf8FromUtf16(text)); }

void AppendNumber(std::string& json, double value) {
  if (!std::isfinite(value)) {  // JSON has no NaN or infinity
    json += "null";
    return;
  }
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof(buffer), value);
  json.append(buffer, error == std::errc() ? end : buffer);
}

void AppendNumber(std::string& json, uint64_t value) { json += std::to_string(value); }

void AppendColour(std::string& json, uint32_t argb) {
  char text[12];
  std::snprintf(text, sizeof(text), "#%08X", argb);
  AppendString(json, std::string_view(text));
}

void AppendTexture(std::string& json, const MirroredTexture& texture) {
  if (texture.empty()) {
    json += "null";
    return;
  }
  json += "{\"stamp\":";
  AppendNumber(json, uint64_t{texture.stamp});
  if (!texture.path.empty()) {
    json += ",\"path\":";
    AppendString(json, texture.path);
  } else {
    json += ",\"segment\":";
    AppendNumber(json, uint64_t{texture.segment});
    json += ",\"width\":";
    AppendNumber(json, uint64_t{texture.width});
    json += ",\"height\":";
    AppendNumber(json, uint64_t{texture.height});
    json += texture.hasAlpha ? ",\"alpha\":true" : ",\"alpha\":false";
  }
  json += '}';
}

void AppendPoint(std::string& json, const std::array<float, 3>& point) {
  json += '[';
  for (size_t axis = 0; axis < 3; ++axis) {
    if (axis) json += ',';
    AppendNumber(json, double{point[axis]});
  }
  json += ']';
}

// The smallest and largest coordinate on each axis of `positions` (x y z per vertex), null for none.
void AppendBounds(std::string& json, const SharedList<float>& shared) {
  const std::vector<float>& positions = shared.items();
  if (positions.size() < 3) {
    json += "null";
    return;
  }
  std::array<float, 3> low{positions[0], positions[1], positions[2]};
  std::array<float, 3> high = low;
  for (size_t index = 3; index + 2 < positions.size(); index += 3) {
    for (size_t axis = 0; axis < 3; ++axis) {
      low[axis] = std::min(low[axis], positions[index + axis]);
      high[axis] = std::max(high[axis], positions[index + axis]);
    }
  }
  json += "{\"min\":";
  AppendPoint(json, low);
  json += ",\"max\":";
  AppendPoint(json, high);
  json += '}';
}

void AppendSurface(std::string& json, const MirroredSurface& surface) {
  json += "{\"id\":";
  AppendNumber(json, uint64_t{surface.recordId});
  json += ",\"version\":";
  AppendNumber(json, uint64_t{surface.version});
  json += ",\"name\":";
  AppendString(json, surface.name);
  json += ",\"type\":";
  AppendNumber(json, uint64_t{surface.surfaceType});
  json += ",\"libraryId\":";
  AppendString(json, surface.libraryId);
  json += ",\"color\":";
  AppendColour(json, surface.color);
  json += ",\"params\":[";
  for (size_t index = 0; index < surface.params.size(); ++index) {
    if (index) json += ',';
    AppendNumber(json, double{surface.params[index]});
  }
  json += "],\"textures\":[";
  AppendTexture(json, surface.textures[0]);
  json += ',';
  AppendTexture(json, surface.textures[1]);
  json += "],\"vertices\":";
  AppendNumber(json, uint64_t{surface.vertexCount});
  json += ",\"triangles\":";
  AppendNumber(json, uint64_t{surface.triangleCount()});
  json += ",\"bounds\":";
  AppendBounds(json, surface.positions);
  json += '}';
}

}  // namespace

std::string SceneToJson(const MirroredScene& scene) {
  std::string json = "{\"document\":";
  AppendString(json, scene.documentName);
  json += ",\"version\":";
  AppendNumber(json, uint64_t{scene.headerVersion});
  json += ",\"commitCount\":";
  AppendNumber(json, uint64_t{scene.commitCount});
  json += ",\"surfaces\":[";
  for (size_t index = 0; index < scene.surfaces.size(); ++index) {
    if (index) json += ',';
    AppendSurface(json, scene.surfaces[index]);
  }
  json += "],\"removed\":[";
  for (size_t index = 0; index < scene.removedSurfaceIds.size(); ++index) {
    if (index) json += ',';
    AppendNumber(json, uint64_t{scene.removedSurfaceIds[index]});
  }
  json += "],\"camera\":";
  if (scene.camera.enabled) {
    json += "{\"matrix\":[";
    for (size_t index = 0; index < 16; ++index) {
      if (index) json += ',';
      AppendNumber(json, double{scene.camera.matrix[index]});
    }
    json += "],\"fieldOfView\":";
    AppendNumber(json, double{scene.camera.fieldOfView});
    json += '}';
  } else {
    json += "null";
  }
  json += ",\"problems\":[";
  for (size_t index = 0; index < scene.problems.size(); ++index) {
    if (index) json += ',';
    AppendString(json, scene.problems[index]);
  }
  json += "]}\n";
  return json;
}
