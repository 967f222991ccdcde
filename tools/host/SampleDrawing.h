#pragma once

#include "tools/host/Drawing.h"

// The built-in sample: a small site in millimetres, Z up. A lawn (one two-sided open quad), a
// house (a closed box with brick sides and a tiled top), two window panes of "Window glass", a
// pool of "Pool water", a screen whose colour and opacity images are generated here, a plinth, a
// column, and a wedge placed once as drawn and once mirrored. The box and the quad are each placed
// several times.
Drawing MakeSampleDrawing();
