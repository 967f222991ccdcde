#pragma once

#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "sdk/VGSOperation.h"

// The renderer's camera: four rows of four floats in its axis order (host x, host z, host y) —
// right, up, view direction, eye position in link units — and the field of view in degrees.
struct LinkCamera {
  std::array<float, 16> matrix{};
  // NaN when the view has no camera to send.
  float fieldOfView = std::numeric_limits<float>::quiet_NaN();

  bool HasCamera() const { return !std::isnan(fieldOfView); }
};

inline constexpr double kMinimumFieldOfView = 5.0;

// The camera of a host view report. A report whose focal distance is 0 has no camera (the field of
// view is NaN). Nothing when the report cannot give a camera: its direction or up vector has a
// squared length of at most 1e-6, or a number it uses is not finite.
std::optional<LinkCamera> CameraFromReport(const VGS::CameraReport& report);
