#pragma once

#include <cstddef>

// Fixed-point number text as printf's "%.3f" (decimals 3) or "%f" (decimals 6) gives it in the
// classic locale, whatever the process locale. Not-a-number and infinities, which that format
// would print as text no XML Schema float accepts, are written "NaN", "INF" and "-INF".

// Longest text AppendFixed writes: a float's 39 integer digits, sign, point and 6 decimals.
inline constexpr size_t kMaximumFixedTextSize = 48;

// Writes `value` with `decimals` (1 to 6) digits after the point at `out`, which must have room
// for kMaximumFixedTextSize characters; gives the end of the text.
char* AppendFixed(char* out, float value, int decimals);
