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
  float near;   // nearer corners are left out
};

View ViewFromCamera(const MirroredCamera& camera, uint32_t width) {
  const auto& m = camera.matrix;
  View view{{m[12], m[13], m[14]}, Normalised({m[0], m[1], m[2]}), Normalised({m[4], m[5], m[6]}),
            Normalised({m[8], m[9], m[10]}), 0, 1e-3f};
  const float fov = std::clamp(camera.fieldOfView, 1.0f, 170.0f) * 3.14159265f / 180.0f;
  view.focal = (width / 2.0f) / std::tan(fov / 2);
  return view;
}

// Link coordinates are y-up: look at the scene's middle from the front, a little above, from as
// far as puts its bounding sphere inside the picture's shorter side with a margin, so that a
// model of any size fills the picture alike. Bounds are summed in doubles, which huge
// coordinates do not overflow.
View DefaultView(const MirroredScene& scene, uint32_t width, uint32_t height) {
  constexpr double kUnbounded = std::numeric_limits<double>::max();
  double low[3] = {kUnbounded, kUnbounded, kUnbounded}, high[3] = {-kUnbounded, -kUnbounded, -kUnbounded};
  for (const MirroredSurface& surface : scene.surfaces) {
    const std::vector<float>& positions = surface.positions.items();
    for (size_t index = 0; index + 2 < positions.size(); index += 3) {
      const float* p = &positions[index];
      if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
      for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::min(low[axis], double(p[axis]));
        high[axis] = std::max(high[axis], double(p[axis]));
      }
    }
  }
  double centre[3] = {0, 0, 0}, squared = 0;
  if (low[0] <= high[0]) {
    for (int axis = 0; axis < 3; ++axis) {
      centre[axis] = (low[axis] + high[axis]) / 2;
      squared += (high[axis] - low[axis]) * (high[axis] - low[axis]);
    }
  }
  // Nothing, or a single point, to look at: a view a unit across.
  const double radius = squared > 0 ? std::sqrt(squared) / 2 : 1;
  const float fov = 50.0f * 3.14159265f / 180.0f;
  const float focal = (width / 2.0f) / std::tan(fov / 2);
  // The sphere is seen under a half-angle whose tangent is this, at the distance below.
  const double fitted = 0.9 * std::min(width, height) / 2 / focal;
  const double distance = radius * std::sqrt(1 + fitted * fitted) / fitted;
  const Vector3 forward = Normalised({-0.6f, -0.45f, -0.66f});
  const Vector3 right = Normalised(Cross(forward, {0, 1, 0}));
  const Vector3 up = Cross(right, forward);
  const Vector3 eye{float(centre[0] - forward.x * distance), float(centre[1] - forward.y * distance),
                    float(centre[2] - forward.z * distance)};
  return {eye, right, up, forward, focal, float((distance - radius) / 2)};
}

struct ScreenPoint {
  float x, y, depth, u, v;
};

// How a triangle is coloured: its shaded colour, or its texture where the texture can be sampled.
struct Paint {
  uint8_t colour[3];
  float brightness;
  const MirroredTexture* texture;  // null for a flat triangle
};

// The nearest texel, the texture repeated, v running up the image; null for coordinates that are
// not numbers.
const uint8_t* Texel(const MirroredTexture& texture, float u, float v) {
  if (!std::isfinite(u) || !std::isfinite(v)) return nullptr;
  const float across = u - std::floor(u), down = 1 - (v - std::floor(v));
  const uint32_t column = std::min(texture.width - 1, static_cast<uint32_t>(across * texture.width));
  const uint32_t row = std::min(texture.height - 1, static_cast<uint32_t>(down * texture.height));
  return &texture.rgba[(size_t(row) * texture.width + column) * 4];
}

struct Raster {
  uint32_t width, height;
  std::vector<float> depth;
  std::vector<uint8_t>& rgba;

  void Fill(const ScreenPoint (&p)[3], const Paint& paint) {
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
        const uint8_t* colour = paint.colour;
        if (paint.texture) {
          // Weighed by inverse depth, so that the texture keeps its perspective.
          const float q0 = w0 / p[0].depth, q1 = w1 / p[1].depth, q2 = w2 / p[2].depth, sum = q0 + q1 + q2;
          const uint8_t* texel = Texel(*paint.texture, (q0 * p[0].u + q1 * p[1].u + q2 * p[2].u) / sum,
                                       (q0 * p[0].v + q1 * p[1].v + q2 * p[2].v) / sum);
          if (texel) colour = texel;
        }
        for (int channel = 0; channel < 3; ++channel) {
          rgba[pixel * 4 + channel] = static_cast<uint8_t>(colour[channel] * paint.brightness);
        }
        rgba[pixel * 4 + 3] = 255;
      }
    }
  }
};

// The surface's colour texture when it has pixels for it and a UV for every vertex.
const MirroredTexture* DrawnTexture(const MirroredSurface& surface) {
  const MirroredTexture& texture = surface.textures[0];
  const bool usable = texture.width > 0 && texture.height > 0 &&
                      texture.rgba.size() == size_t(texture.width) * texture.height * 4 &&
                      surface.uvs.size() >= surface.positions.size() / 3 * 2;
  return usable ? &texture : nullptr;
}

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
  if (image.rgba.empty()) return image;
  const View view = scene.camera.enabled ? ViewFromCamera(scene.camera, width) : DefaultView(scene, width, height);
  Raster raster{width, height, std::vector<float>(size_t(width) * height, std::numeric_limits<float>::infinity()), image.rgba};
  const Vector3 light = Normalised(view.forward * -1 + view.up * 0.6f + view.right * 0.3f);

  for (const MirroredSurface& surface : scene.surfaces) {
    Paint paint{{static_cast<uint8_t>(surface.color >> 16), static_cast<uint8_t>(surface.color >> 8),
                 static_cast<uint8_t>(surface.color)},
                0, DrawnTexture(surface)};
    const std::vector<float>& positions = surface.positions.items();
    const std::vector<float>& uvs = surface.uvs.items();
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
        if (!(depth > view.near)) {
          visible = false;  // behind the eye or not a number: not clipped, just left out
          break;
        }
        screen[corner] = {width / 2.0f + Dot(relative, view.right) * view.focal / depth,
                          height / 2.0f - Dot(relative, view.up) * view.focal / depth, depth, 0, 0};
        if (paint.texture) screen[corner].u = uvs[vertex * 2], screen[corner].v = uvs[vertex * 2 + 1];
      }
      if (!visible) continue;
      const float facing = std::fabs(Dot(Normalised(Cross(corners[1] - corners[0], corners[2] - corners[0])), light));
      paint.brightness = 0.35f + 0.65f * facing;
      raster.Fill(screen, paint);
    }
  }
  return image;
}

bool SaveSnapshotPng(const SnapshotImage& image, const std::string& path) {
  return platform::EncodePngPixels(image.width, image.height, image.rgba, platform::Utf16FromUtf8(path));
}
