#include "link/LinkCamera.h"

#include <algorithm>

namespace {

constexpr double kMinimumSquaredLength = 1e-6;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kLinkUnitsPerHostUnit = 0.001;

struct Vector {
  double x, y, z;
};

Vector VectorOf(const double (&values)[3]) { return {values[0], values[1], values[2]}; }

double SquaredLength(const Vector& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

Vector Cross(const Vector& a, const Vector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

bool AllFinite(const VGS::CameraReport& report) {
  const double used[] = {report.eye[0],       report.eye[1],       report.eye[2], report.direction[0],
                         report.direction[1], report.direction[2], report.up[0],  report.up[1],
                         report.up[2],        report.extent,       report.focalDistance};
  return std::all_of(std::begin(used), std::end(used), [](double value) { return std::isfinite(value); });
}

bool FitsFloat(double value) { return std::abs(value) <= std::numeric_limits<float>::max(); }

// Host (x, y, z) as the renderer's (x, z, y); false when a component is too large for a float.
bool SetRow(LinkCamera& camera, int row, const Vector& v, float w) {
  if (!FitsFloat(v.x) || !FitsFloat(v.y) || !FitsFloat(v.z)) return false;
  float* out = &camera.matrix[4 * row];
  out[0] = static_cast<float>(v.x);
  out[1] = static_cast<float>(v.z);
  out[2] = static_cast<float>(v.y);
  out[3] = w;
  return true;
}

}  // namespace

std::optional<LinkCamera> CameraFromReport(const VGS::CameraReport& report) {
  LinkCamera camera;
  if (report.focalDistance == 0) return camera;
  // A host value the float matrix cannot carry would reach the renderer as NaN or infinity.
  if (!AllFinite(report)) return std::nullopt;
  const Vector direction = VectorOf(report.direction);
  const Vector up = VectorOf(report.up);
  if (SquaredLength(direction) <= kMinimumSquaredLength || SquaredLength(up) <= kMinimumSquaredLength) {
    return std::nullopt;
  }
  const Vector eye = VectorOf(report.eye);
  const Vector eyeInLinkUnits{eye.x * kLinkUnitsPerHostUnit, eye.y * kLinkUnitsPerHostUnit,
                              eye.z * kLinkUnitsPerHostUnit};
  // Vectors are used as the host gives them, not normalised.
  const bool fits = SetRow(camera, 0, Cross(direction, up), 0) && SetRow(camera, 1, up, 0) &&
                    SetRow(camera, 2, direction, 0) && SetRow(camera, 3, eyeInLinkUnits, 1);
  if (!fits) return std::nullopt;
  const double fieldOfView = 2 * std::atan(report.extent / (2 * report.focalDistance)) * kDegreesPerRadian;
  // atan keeps the angle within ±180°, so it always fits a float.
  camera.fieldOfView = static_cast<float>(std::max(fieldOfView, kMinimumFieldOfView));
  return camera;
}
