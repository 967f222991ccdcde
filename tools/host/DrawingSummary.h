#pragma once

#include <nlohmann/json.hpp>

#include "tools/host/Drawing.h"

// What the drawing holds, per material, as the host itself draws it; written after each step of a
// link so that a test can hold it against what the renderer mirrors. One entry per material of
// the drawing, in its order, and a last one ("known": false) for every id the instances use that
// is no material of the drawing:
//   name, known, colour [r, g, b, a] (0 to 1), colourImage and opacityImage ([width, height,
//   channels] or null), solidTriangles and openTriangles (drawn on closed and on open
//   geometries), min and max (every position of those surfaces after its instance's transform,
//   host millimetres, Z up; null when nothing is drawn).
nlohmann::json SummariseDrawing(const Drawing& drawing);
