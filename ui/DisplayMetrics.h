#pragma once

#include <cstdint>

// Screen measures and the pixel geometry the dialogs derive from them.
namespace ui {

struct DisplayMetrics {
  int dpi = 96;           // vertical logical pixels per inch
  int baseUnitX = 8;      // dialog base units of the system font
  int baseUnitY = 16;
  int smallIconSize = 16; // system metrics for small icon width and height
};

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

// number × numerator / denominator rounded to the nearest whole number, halves away from zero,
// with a 64-bit intermediate; -1 when the denominator is 0 or the result leaves the 32-bit range.
int MulDiv(int number, int numerator, int denominator);

// Size of the About picture on this screen: 110 × 140 at 96 dpi, scaled with dpi.
Size AboutPictureSize(const DisplayMetrics& metrics);

// Character height of a font of `points` on this screen, negative as fonts are requested by
// character height rather than cell height.
int FontHeight(int points, const DisplayMetrics& metrics);

// Where the progress window's bar goes, from the base units and dpi. The height is derived from
// the horizontal base unit, as the shipped window has always laid it out.
Rect ProgressBarRectangle(const DisplayMetrics& metrics);

// Converts a size in dialog units to pixels with the given base units.
Size DialogUnitsToPixels(int width, int height, const DisplayMetrics& metrics);

// `window` moved, not sized, so that it is centred over `owner`, in whole pixels (halves truncated
// toward zero, so a window larger than its owner overhangs it evenly).
Rect CentreOver(const Rect& owner, const Rect& window);

}  // namespace ui
