// The main window's elliptic outline.
#pragma once

#include <cstdint>

namespace main_window {

// Bounding box of the ellipse, in window pixels.
struct EllipseCorners {
  std::int32_t x1, y1, x2, y2;
};

// Design box of the ellipse, in pixels at 15 twips per pixel.
inline constexpr float kDesignTwipsPerPixel = 15.0f;
inline constexpr float kEllipseLeft = 25, kEllipseTop = 23, kEllipseRight = 483,
                       kEllipseBottom = 335;

// The ellipse for a screen of `tppX` by `tppY` twips per pixel, scaled and
// offset. Each corner is computed in single precision and rounded to the
// nearest integer, halves to even. A twips-per-pixel value that is zero,
// negative or not a number is taken as 15; a corner beyond the 32-bit range
// is held at its end.
EllipseCorners ComputeEllipseCorners(float scaleX, float scaleY, std::int16_t offsetX,
                                     std::int16_t offsetY, float tppX, float tppY);

}  // namespace main_window
