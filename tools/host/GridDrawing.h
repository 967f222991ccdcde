#pragma once

#include <cstdint>

#include "tools/host/Drawing.h"

// A generated drawing of about `triangleCount` triangles: 100 gently curved grids side by side in
// rows, each its own geometry placed once, in eight materials. Made from integer arithmetic and
// exact decimal steps only, so that every platform sends the same numbers; the benchmarks and the
// cross-platform comparison of written files use it where a model file cannot be read.
Drawing MakeGridDrawing(uint32_t triangleCount);
