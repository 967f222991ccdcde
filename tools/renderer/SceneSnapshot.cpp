#include "tools/renderer/SceneSnapshot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/ImageEncoder.h"
#include "platform/TextConversion.h"

namespace {

struct Vector3 {
  float x, y, z;
};

Vector3 operator-(Vector3 a, Vector3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vector3 operator+(Vector3 a, Vector3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector3 operator*(Vector3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(Vector3 a, Vector3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector3 Cross(Vector3 a, Vector3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vector3 Normalised(Vector3 a) {
  const float length = std::sqrt(Dot(a, a));
  // A vector too long for a float has no usable direction either; a NaN would reach the colours.
  return length > 0 && std::isfinite(length) ? a * (1 / length) : Vector3{0, 0, 0};
}

struct View {
  Vector3 eye, right, up, forward;
  float focal;  // screen half-width over the tangent of half the field of view
};

View ViewFromCamera(const MirroredCamera& camera, uint32_t width) {
  const auto& m = camera.matrix;
  View view{{m[12], m[13], m[14]}, Normalised({m[0], m[1], m[2]}), Normalised({m[4], m[5], m[6]}),
            Normalised({m[8], m[9], m[10]}), 0};
  const float fov = std::clamp(camera.fieldOfView, 1.0f, 170.0f) * 3.14159265f / 180.0f;
  view.focal = (width / 2.0f) / std::tan(fov / 2);
  return view;
}

// Link coordinates are y-up: look at the scene's middle from the front, a little above.
View DefaultView(const MirroredScene& scene, uint32_t width) {
  Vector3 low{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
  Vector3 high = low * -1;
  bool any = false;
  for (const MirroredSurface& surface : scene.surfaces) {
    const std::vector<float>& positions = surface.positions.items();
    for (size_t index = 0; index + 2 < positions.size(); index += 3) {
      const Vector3 p{positions[index], positions[index + 1], positions[index + 2]};
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
      any = true;
    }
  }
  if (!any) low = high = {0, 0, 0};
  const Vector3 centre = (low + high) * 0.5f;
  const float radius = std::max(std::sqrt(Dot(high - low, high - low)) / 2, 0.001f);
  const Vector3 forward = Normalised({-0.6f, -0.45f, -0.66f});
  const Vector3 right = Normalised(Cross(forward, {0, 1, 0}));
  const Vector3 up = Cross(right, forward);
  const float fov = 50.0f * 3.14159265f / 180.0f;
  return {centre - forward * (radius / std::sin(fov / 2) * 1.1f), right, up, forward, (width / 2.0f) / std::tan(fov / 2)};
}

struct ScreenPoint {
  float x, y, depth;
};

struct Raster {
  uint32_t width, height;
  std::vector<float> depth;
  std::vector<uint8_t>& rgba;

  void Fill(const ScreenPoint (&p)[3], const uint8_t colour[3]) {
    // The corners come from another process's numbers: one that is not finite fills nothing, and
    // the bounds are clamped to the raster while still floats, since huge ones overflow an int.
    for (const ScreenPoint& corner : p) {
      if (!std::isfinite(corner.x) || !std::isfinite(corner.y) || !std::isfinite(corner.depth)) return;
    }
    const float area = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[2].x - p[0].x) * (p[1].y - p[0].y);
    if (std::fabs(area) < 1e-12f) return;
    const float lowX = std::max(0.0f, std::floor(std::min({p[0].x, p[1].x, p[2].x})));
    const float highX = std::min(float(width) - 1, std::ceil(std::max({p[0].x, p[1].x, p[2].x})));
    const float lowY = std::max(0.0f, std::floor(std::min({p[0].y, p[1].y, p[2].y})));
    const float highY = std::min(float(height) - 1, std::ceil(std::max({p[0].y, p[1].y, p[2].y})));
    if (lowX > highX || lowY > highY) return;
    const int minX = static_cast<int>(lowX), maxX = static_cast<int>(highX);
    const int minY = static_cast<int>(lowY), maxY = static_cast<int>(highY);
    for (int y = minY; y <= maxY; ++y) {
      for (int x = minX; x <= maxX; ++x) {
        const float px = x + 0.5f, py = y + 0.5f;
        const float w0 = ((p[1].x - px) * (p[2].y - py) - (p[2].x - px) * (p[1].y - py)) / area;
        const float w1 = ((p[2].x - px) * (p[0].y - py) - (p[0].x - px) * (p[2].y - py)) / area;
        const float w2 = 1 - w0 - w1;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        const float z = w0 * p[0].depth + w1 * p[1].depth + w2 * p[2].depth;
        const size_t pixel = size_t(y) * width + size_t(x);
        if (z >= depth[pixel]) continue;
        depth[pixel] = z;
        std::copy(colour, colour + 3, &rgba[pixel * 4]);
        rgba[pixel * 4 + 3] = 255;
      }
    }
  }
};

}  // namespace

SnapshotImage RenderSnapshot(const MirroredScene& scene, uint32_t width, uint32_t height) {
  SnapshotImage image{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
  for (uint32_t y = 0; y < height; ++y) {  // a quiet sky-to-ground background
    const uint8_t shade = static_cast<uint8_t>(230 - 60 * y / std::max(height, 1u));
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* pixel = &image.rgba[(size_t(y) * width + x) * 4];
      pixel[0] = shade, pixel[1] = shade, pixel[2] = static_cast<uint8_t>(std::min(255, shade + 15)), pixel[3] = 255;
    }
  }
  const View view = scene.camera.enabled ? ViewFromCamera(scene.camera, width) : DefaultView(scene, width);
  Raster raster{width, height, std::vector<float>(size_t(width) * height, std::numeric_limits<float>::infinity()), image.rgba};
  const Vector3 light = Normalised(view.forward * -1 + view.up * 0.6f + view.right * 0.3f);
  constexpr float kNear = 1e-3f;

  for (const MirroredSurface& surface : scene.surfaces) {
    const uint8_t base[3] = {static_cast<uint8_t>(surface.color >> 16), static_cast<uint8_t>(surface.color >> 8),
                             static_cast<uint8_t>(surface.color)};
    const std::vector<float>& positions = surface.positions.items();
    const std::vector<uint32_t>& indices = surface.indices.items();
    for (size_t triangle = 0; triangle < surface.triangleCount(); ++triangle) {
      Vector3 corners[3];
      ScreenPoint screen[3];
      bool visible = true;
      for (int corner = 0; corner < 3; ++corner) {
        const size_t vertex = indices[triangle * 3 + corner];
        const float* p = &positions[vertex * 3];
        corners[corner] = {p[0], p[1], p[2]};
        const Vector3 relative = corners[corner] - view.eye;
        const float depth = Dot(relative, view.forward);
        if (!(depth > kNear)) {
          visible = false;  // behind the eye or not a number: not clipped, just left out
          break;
        }
        screen[corner] = {width / 2.0f + Dot(relative, view.right) * view.focal / depth,
                          height / 2.0f - Dot(relative, view.up) * view.focal / depth, depth};
      }
      if (!visible) continue;
      const float facing = std::fabs(Dot(Normalised(Cross(corners[1] - corners[0], corners[2] - corners[0])), light));
      const float brightness = 0.35f + 0.65f * facing;
      const uint8_t shaded[3] = {static_cast<uint8_t>(base[0] * brightness), static_cast<uint8_t>(base[1] * brightness),
                                 static_cast<uint8_t>(base[2] * brightness)};
      raster.Fill(screen, shaded);
    }
  }
  return image;
}

bool SaveSnapshotPng(const SnapshotImage& image, const std::string& path) {
  return platform::EncodePngPixels(image.width, image.height, image.rgba, platform::Utf16FromUtf8(path));
}
