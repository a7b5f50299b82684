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

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max(), kMin = -kMax - 1;
// The design's box: (25, 23) to (483, 335) pixels at 15 twips per pixel.
constexpr main_window::EllipseCorners kDesignBox = {25, 23, 483, 335};

struct Screen {
  const char* name;
  float scaleX = 1, scaleY = 1;
  std::int16_t offsetX = 0, offsetY = 0;
  float twipsPerPixel = 15;  // both axes
  main_window::EllipseCorners corners;
  friend void PrintTo(const Screen& row, std::ostream* os) { *os << row.name; }
};

const Screen kScreens[] = {
    // 12.5, 11.5, 241.5 and 167.5: each half goes to its even neighbour.
    {.name = "HalvesGoToTheEvenNeighbour", .twipsPerPixel = 30, .corners = {12, 12, 242, 168}},
    // 50 - 10, 11.5 + 7 = 18.5 -> 18, 966 - 10, 167.5 + 7 = 174.5 -> 174: offset after scaling.
    {.name = "ScaledThenOffset",
     .scaleX = 2,
     .scaleY = 0.5f,
     .offsetX = -10,
     .offsetY = 7,
     .corners = {40, 18, 956, 174}},
    // A density that is zero, negative or infinite is taken as the design's 15.
    {.name = "NoDensityIsTheDesigns", .twipsPerPixel = 0, .corners = kDesignBox},
    {.name = "ANegativeDensityIsTheDesigns", .twipsPerPixel = -15, .corners = kDesignBox},
    {.name = "AnInfiniteDensityIsTheDesigns",
     .twipsPerPixel = std::numeric_limits<float>::infinity(),
     .corners = kDesignBox},
    {.name = "CornersBeyond32BitsHoldAtTheirEnds",
     .scaleX = 1e30f,
     .scaleY = -1e30f,
     .corners = {kMax, kMin, kMax, kMin}},
    // Each step rounded to single precision; kept wide in the x87 registers of the 32-bit build,
    // the steps would give 975 and 911.
    {.name = "EachStepRoundsToSinglePrecision",
     .scaleX = 0x1.a5af38p+0f,
     .scaleY = 0x1.1341ep+1f,
     .offsetX = -19,
     .offsetY = 10,
     .twipsPerPixel = 12,
     .corners = {32, 72, 976, 910}},
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
