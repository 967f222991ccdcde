#include "ui/DisplayMetrics.h"

#include <cstdint>
#include <limits>

namespace ui {
namespace {

constexpr int kDesignDpi = 96;
constexpr Size kAboutPictureDesignSize{110, 140};
constexpr int kPointsPerInch = 72;

// The bar's place in dialog units: 13, 40 and 193 × 17.
constexpr int kBarLeft = 13;
constexpr int kBarTop = 40;
constexpr int kBarWidth = 193;
constexpr int kBarHeight = 17;

}  // namespace

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  int64_t product = static_cast<int64_t>(number) * numerator;
  int64_t divisor = denominator;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  const int64_t half = divisor / 2;
  const int64_t result = (product >= 0 ? product + half : product - half) / divisor;
  if (result > std::numeric_limits<int>::max() || result < -std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(result);
}

Size AboutPictureSize(const DisplayMetrics& metrics) {
  return {MulDiv(kAboutPictureDesignSize.width, metrics.dpi, kDesignDpi),
          MulDiv(kAboutPictureDesignSize.height, metrics.dpi, kDesignDpi)};
}

int FontHeight(int points, const DisplayMetrics& metrics) { return -MulDiv(points, metrics.dpi, kDesignDpi); }

Rect ProgressBarRectangle(const DisplayMetrics& metrics) {
  const int bx = metrics.baseUnitX;
  const int by = metrics.baseUnitY;
  const int dpi = metrics.dpi;
  return {MulDiv(MulDiv(kBarLeft, bx, 4), kPointsPerInch, dpi),
          MulDiv(MulDiv(kBarTop, by, 8), kPointsPerInch, dpi),
          MulDiv(MulDiv(kBarWidth, bx, 4), kPointsPerInch, dpi),
          MulDiv(MulDiv(kBarHeight, bx, 8), kPointsPerInch, dpi)};
}

Size DialogUnitsToPixels(int width, int height, const DisplayMetrics& metrics) {
  return {MulDiv(width, metrics.baseUnitX, 4), MulDiv(height, metrics.baseUnitY, 8)};
}

Rect CentreOver(const Rect& owner, const Rect& window) {
  return {owner.left + (owner.width - window.width) / 2, owner.top + (owner.height - window.height) / 2,
          window.width, window.height};
}

}  // namespace ui
