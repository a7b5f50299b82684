#include "main_window/form_region.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace main_window {

namespace {

float UsableTwipsPerPixel(float tpp) {
  return std::isfinite(tpp) && tpp > 0 ? tpp : kDesignTwipsPerPixel;
}

// A single-precision result as stored in memory. The x87 unit of the 32-bit
// build keeps 64 bits of mantissa in its registers, and GCC does not round
// C++ float variables there (no -fexcess-precision=standard for C++ before
// GCC 13); the store does. Rounding an exact product or quotient to 64 bits
// and then to 24 gives the same float as rounding it to 24 at once, so each
// step rounds as it does with SSE.
float Stored(float value) {
  volatile float stored = value;
  return stored;
}

std::int32_t RoundCorner(float scale, float designPixels, float tpp, std::int16_t offset) {
  // Same order of operations as the design: scale, pixels, 15, screen, offset.
  float value = Stored(scale * designPixels);
  value = Stored(value * kDesignTwipsPerPixel);
  value = Stored(value / tpp);
  value = Stored(value + static_cast<float>(offset));
  if (std::isnan(value)) return 0;
  constexpr float kMax = 2147483520.0f;  // largest float below 2^31
  if (value >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (value <= -kMax) return std::numeric_limits<std::int32_t>::min();
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);  // halves go to the even neighbour
  const float rounded = std::nearbyint(value);
  std::fesetround(mode);
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

EllipseCorners ComputeEllipseCorners(float scaleX, float scaleY, std::int16_t offsetX,
                                     std::int16_t offsetY, float tppX, float tppY) {
  tppX = UsableTwipsPerPixel(tppX);
  tppY = UsableTwipsPerPixel(tppY);
  EllipseCorners c{};
  c.y2 = RoundCorner(scaleY, kEllipseBottom, tppY, offsetY);
  c.x2 = RoundCorner(scaleX, kEllipseRight, tppX, offsetX);
  c.y1 = RoundCorner(scaleY, kEllipseTop, tppY, offsetY);
  c.x1 = RoundCorner(scaleX, kEllipseLeft, tppX, offsetX);
  return c;
}

}  // namespace main_window
