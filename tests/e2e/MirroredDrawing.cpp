#include "tests/e2e/MirroredDrawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool Near(double a, double b) { return std::abs(a - b) <= 1e-4 + 1e-5 * std::abs(b); }

// The surface type the renderer must show for the sample's material names: water and glass are
// told by name, water first.
int SurfaceTypeOf(const std::string& name) {
  if (name.find("water") != std::string::npos || name.find("Water") != std::string::npos) return 1;
  if (name.find("glass") != std::string::npos || name.find("Glass") != std::string::npos) return 2;
  return 0;
}

int Channel(double value) { return int(std::trunc(value * 255)) & 255; }

std::string ArgbText(const json& colour) {
  char text[12];
  std::snprintf(text, sizeof(text), "#%02X%02X%02X%02X", Channel(colour[3]), Channel(colour[0]), Channel(colour[1]),
                Channel(colour[2]));
  return text;
}

// The texture the plug-in makes of a material's images: the colour image's size when it is a
// real image (not 1 × 1), else the opacity image's, else 128 × 128; none without images.
json TextureSize(const json& material) {
  const json& colour = material["colourImage"];
  const json& opacity = material["opacityImage"];
  if (colour.is_null() && opacity.is_null()) return nullptr;
  if (!colour.is_null() && !(colour[0] == 1 && colour[1] == 1)) return {colour[0], colour[1]};
  if (!opacity.is_null()) return {opacity[0], opacity[1]};
  return {128, 128};
}

// Host millimetres with Z up as link coordinates: (x, z, y) · 0.001.
json LinkPoint(const json& host) { return {double(host[0]) * 0.001, double(host[2]) * 0.001, double(host[1]) * 0.001}; }

struct ExpectedSurface {
  std::string name;
  int type = 0;
  std::string colour;
  json texture;  // [width, height] or null
  uint64_t triangles = 0;
  json min, max;  // link coordinates, null when nothing is drawn
};

// What the renderer must show for one material entry of the host's account. Open geometries are
// drawn from both sides, so their triangles count twice; a textured surface carries its colours
// in the texture and shows white.
ExpectedSurface ExpectSurface(const json& material) {
  ExpectedSurface surface;
  const bool known = material["known"];
  surface.name = known ? std::string(material["name"]) : "Default material";
  surface.type = known ? SurfaceTypeOf(surface.name) : 0;
  surface.texture = known ? TextureSize(material) : json(nullptr);
  surface.colour = !known ? "#FFAAAAAA" : surface.texture.is_null() ? ArgbText(material["colour"]) : "#00FFFFFF";
  surface.triangles = uint64_t(material["solidTriangles"]) + 2 * uint64_t(material["openTriangles"]);
  surface.min = material["min"].is_null() ? json(nullptr) : LinkPoint(material["min"]);
  surface.max = material["max"].is_null() ? json(nullptr) : LinkPoint(material["max"]);
  return surface;
}

struct Camera {
  std::vector<double> matrix;  // 16, rows: right, up, direction, eye
  double fieldOfView = 0;
};

// The renderer's camera for a view report [eye, direction, up, unused, extent, focal]: rows in
// the renderer's axis order (host x, z, y), the eye in link units, the field of view never below
// 5°. Nothing for a report without a camera (focal 0); `valid` false when a vector has no length.
std::optional<Camera> CameraOf(const json& view, bool& valid) {
  const auto v = [&](int index) { return double(view[index]); };
  valid = true;
  if (v(11) == 0) return std::nullopt;
  const double d[3] = {v(3), v(4), v(5)}, u[3] = {v(6), v(7), v(8)};
  if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] <= 1e-6 || u[0] * u[0] + u[1] * u[1] + u[2] * u[2] <= 1e-6) {
    valid = false;
    return std::nullopt;
  }
  const double r[3] = {d[1] * u[2] - d[2] * u[1], d[2] * u[0] - d[0] * u[2], d[0] * u[1] - d[1] * u[0]};
  Camera camera;
  camera.matrix = {r[0], r[2], r[1], 0, u[0], u[2], u[1], 0, d[0], d[2], d[1], 0,
                   v(0) / 1000, v(2) / 1000, v(1) / 1000, 1};
  camera.fieldOfView = std::max(5.0, 2 * std::atan(v(10) / (2 * v(11))) * 180 / std::numbers::pi);
  return camera;
}

// Follows the renderer's camera through the host's steps: a view report reaches it while the
// camera is available and synchronisation is on (f = 0 clears it); switching synchronisation off
// clears it once, switching it on sends the last camera worked out.
class CameraModel {
public:
  void Step(const json& previous, const json& current) {
    const json& before = previous.is_null() ? current["camera"] : previous["camera"];
    if (!current["view"].is_null() && before["available"]) {
      bool valid = true;
      const std::optional<Camera> camera = CameraOf(current["view"], valid);
      last_ = camera;
      if (before["sync"] && valid) renderer_ = camera;
    }
    const json& after = current["camera"];
    if (!previous.is_null() && before["available"] && after["available"] && before["sync"] != after["sync"]) {
      renderer_ = after["sync"] ? last_ : std::nullopt;
    }
  }
  const std::optional<Camera>& renderer() const { return renderer_; }

private:
  std::optional<Camera> last_;
  std::optional<Camera> renderer_;
};

// Differences between what the renderer mirrored (one summary) and what it must show; empty when
// they agree.
std::string Differences(const json& mirrored, const std::vector<ExpectedSurface>& expected,
                        const std::optional<Camera>& camera) {
  std::ostringstream out;
  for (const ExpectedSurface& surface : expected) {
    const json* found = nullptr;
    for (const json& candidate : mirrored["surfaces"]) {
      if (candidate["name"] == surface.name) found = &candidate;
    }
    if (!found) {
      if (surface.triangles) out << surface.name << ": missing; ";
      continue;
    }
    const json& s = *found;
    if (s["type"] != surface.type) out << surface.name << ": type " << s["type"] << "; ";
    if (s["color"] != surface.colour) out << surface.name << ": colour " << s["color"] << " not " << surface.colour << "; ";
    if (s["triangles"] != surface.triangles) {
      out << surface.name << ": " << s["triangles"] << " triangles, not " << surface.triangles << "; ";
    }
    const json& texture = s["textures"][0];
    if (surface.texture.is_null() != texture.is_null() ||
        (!texture.is_null() && (texture["width"] != surface.texture[0] || texture["height"] != surface.texture[1]))) {
      out << surface.name << ": texture " << texture << " not " << surface.texture << "; ";
    }
    const json& bounds = s["bounds"];
    if (surface.min.is_null() != bounds.is_null()) {
      out << surface.name << ": bounds " << bounds << "; ";
    } else if (!bounds.is_null()) {
      for (int axis = 0; axis < 3; ++axis) {
        if (!Near(bounds["min"][axis], surface.min[axis]) || !Near(bounds["max"][axis], surface.max[axis])) {
          out << surface.name << ": bounds " << bounds << " not " << surface.min << "-" << surface.max << "; ";
          break;
        }
      }
    }
  }
  for (const json& s : mirrored["surfaces"]) {
    const bool expectedSurface = std::any_of(expected.begin(), expected.end(), [&](const ExpectedSurface& e) { return e.name == s["name"]; });
    if (!expectedSurface && s["triangles"] != 0) out << s["name"] << ": not in the drawing; ";
  }
  const json& shown = mirrored["camera"];
  if (camera.has_value() == shown.is_null()) {
    out << "camera " << shown << " not " << (camera ? "a camera" : "none") << "; ";
  } else if (camera) {
    for (int index = 0; index < 16; ++index) {
      if (!Near(shown["matrix"][index], camera->matrix[index])) {
        out << "camera matrix " << shown["matrix"] << "; ";
        break;
      }
    }
    if (!Near(shown["fieldOfView"], camera->fieldOfView)) out << "field of view " << shown["fieldOfView"] << "; ";
  }
  return out.str();
}

}  // namespace

std::vector<json> ReadJsonLines(const fs::path& path) {
  std::vector<json> lines;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty()) lines.push_back(json::parse(line));
  }
  return lines;
}

std::string UnmirroredSteps(const std::vector<json>& expected, const std::vector<json>& history, size_t firstStep) {
  if (expected.empty()) return "the host reported no step";
  if (history.empty()) return "the renderer mirrored nothing";
  CameraModel camera;
  size_t position = 0;
  json previous;
  for (size_t index = 0; index < expected.size(); ++index) {
    const json& step = expected[index];
    camera.Step(previous, step);
    previous = step;
    if (index < firstStep || step["link"] != "running") continue;
    std::vector<ExpectedSurface> surfaces;
    for (const json& material : step["materials"]) surfaces.push_back(ExpectSurface(material));
    std::string differences;
    size_t match = position;
    for (; match < history.size(); ++match) {
      differences = Differences(history[match], surfaces, camera.renderer());
      if (differences.empty()) break;
    }
    if (match == history.size()) {
      return "line " + step["line"].dump() + " \"" + std::string(step["edit"]) +
             "\" never mirrored; against the last update: " + differences;
    }
    position = match;
  }
  return {};
}
