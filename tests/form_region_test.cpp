// The main window's elliptic outline (main_window/form_region.cpp): the ellipse's corners for a
// screen's density, scale and offset. The window's shape on a real screen is the end-to-end
// cases'; these rows pin the arithmetic each backend's region is made from, which must come out
// alike on x86-64 and on the 32-bit build's x87 unit (these rows run there under Wine too).
#include "main_window/form_region.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>

#include "tests/named_rows.h"

namespace main_window {

bool operator==(const EllipseCorners& a, const EllipseCorners& b) {
  return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

void PrintTo(const EllipseCorners& c, std::ostream* os) {
  *os << "{" << c.x1 << ", " << c.y1 << ", " << c.x2 << ", " << c.y2 << "}";
}

}  // namespace main_window

namespace {

using named_rows::PrintTo;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = -kMax - 1;
constexpr float kInfinity = std::numeric_limits<float>::infinity();
// The design's box: (25, 23) to (483, 335) pixels at 15 twips per pixel.
constexpr main_window::EllipseCorners kDesignBox = {25, 23, 483, 335};

struct Screen {
  const char* name;
  float scaleX, scaleY;
  std::int16_t offsetX, offsetY;
  float twipsPerPixel;  // both axes
  main_window::EllipseCorners corners;
};

const Screen kScreens[] = {
    // name, scaleX, scaleY, offsetX, offsetY, twipsPerPixel, corners
    //
    // 12.5, 11.5, 241.5 and 167.5: each half goes to its even neighbour.
    {"HalvesGoToTheEvenNeighbour", 1, 1, 0, 0, 30, {12, 12, 242, 168}},
    // 50 - 10, 11.5 + 7 = 18.5 -> 18, 966 - 10, 167.5 + 7 = 174.5 -> 174: offset after scaling.
    {"ScaledThenOffset", 2, 0.5f, -10, 7, 15, {40, 18, 956, 174}},
    // A density that is zero, negative or infinite is taken as the design's 15.
    {"NoDensityIsTheDesigns", 1, 1, 0, 0, 0, kDesignBox},
    {"ANegativeDensityIsTheDesigns", 1, 1, 0, 0, -15, kDesignBox},
    {"AnInfiniteDensityIsTheDesigns", 1, 1, 0, 0, kInfinity, kDesignBox},
    {"CornersBeyond32BitsHoldAtTheirEnds", 1e30f, -1e30f, 0, 0, 15, {kMax, kMin, kMax, kMin}},
    // Each step rounded to single precision; kept wide in the x87 registers of the 32-bit build,
    // the steps would give 975 and 911.
    {"EachStepRoundsToSinglePrecision",
     0x1.a5af38p+0f,
     0x1.1341ep+1f,
     -19,
     10,
     12,
     {32, 72, 976, 910}},
};

class EllipseCorners : public ::testing::TestWithParam<Screen> {};

TEST_P(EllipseCorners, AreTheDesignsBoxOnThisScreen) {
  const Screen& s = GetParam();
  EXPECT_EQ(main_window::ComputeEllipseCorners(s.scaleX, s.scaleY, s.offsetX, s.offsetY,
                                               s.twipsPerPixel, s.twipsPerPixel),
            s.corners);
}

INSTANTIATE_TEST_SUITE_P(Screens, EllipseCorners, ::testing::ValuesIn(kScreens),
                         named_rows::ByName());

}  // namespace
