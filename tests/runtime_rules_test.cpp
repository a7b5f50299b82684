// The rules both forms runtimes follow, as they decide them; the backends'
// own tests cover only the native calls around them.
#include "platform/runtime_rules.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/timer_rule.h"

namespace {

TEST(RuntimeRules, PixelsAndTwips) {
  struct Case {
    double dpi;
    float tpp;
    int twips, pixels;
  } const cases[] = {
      {96, 15, 8805, 587}, {120, 12, 8805, 734}, {120, 12, 5025, 419},  // 733.75, 418.75 up
      {144, 10, 4, 0},     {96, 15, 7, 0},       {96, 15, 8, 1},        // halves and below
      {0, 15, 1500, 100},  {-1, 15, 1500, 100},  // a screen that tells no dpi
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(forms::TwipsPerPixel(c.dpi), c.tpp) << c.dpi;
    EXPECT_EQ(forms::TwipsToPixels(c.twips, c.tpp), c.pixels) << c.twips << " at " << c.tpp;
  }
}

TEST(RuntimeRules, MouseDownArguments) {
  using forms::MouseButton;
  struct Case {
    MouseButton button;
    bool shift, ctrl, alt;
    int wantButton, wantShift;
  } const cases[] = {
      {MouseButton::Left, false, false, false, 1, 0},
      {MouseButton::Right, true, false, false, 2, 1},
      {MouseButton::Other, false, true, false, 4, 2},
      {MouseButton::Left, false, false, true, 1, 4},
      {MouseButton::Right, true, true, true, 2, 7},
  };
  for (const Case& c : cases) {
    const auto a = forms::MouseDown(c.button, c.shift, c.ctrl, c.alt, 10, 3, 15, 12);
    EXPECT_EQ((std::vector<float>{float(a.button), float(a.shift), a.x, a.y}),
              (std::vector<float>{float(c.wantButton), float(c.wantShift), 150, 36}));
  }
}

// A timer that just ticked takes its new delay; another one only comes
// forward. A form's wish becomes a delay: at each turn of the second once the
// second shows, while wanted every interval (at once after a change).
TEST(RuntimeRules, TimerRules) {
  using enum forms::TimerAction;
  struct Rearm {
    bool ticked;
    int delay;
    bool active;
    int remaining;
    forms::TimerAction action;
  } const rearms[] = {
      {true, 1000, false, 0, Start}, {true, -1, false, 0, Stop},
      {false, 0, false, 0, Start},   {false, 0, true, 500, Start},   // idle or sooner
      {false, 1, true, 1, Keep},     {false, 800, true, 500, Keep},  // not starved
      {false, -1, true, 500, Keep},                                  // stops on its own tick
  };
  for (const Rearm& r : rearms)
    EXPECT_EQ(forms::RearmTimer(r.ticked, r.delay, r.active, r.remaining), r.action) << r.delay;
  const std::tuple<bool, int, int> clock[] = {
      {false, 0, 1}, {false, 500, 1}, {true, 0, 1000}, {true, 1, 999}, {true, 999, 1}};
  for (const auto& [shows, ms, delay] : clock)
    EXPECT_EQ(forms::AtEachSecond(shows, {.millisecond = ms}, 1), delay) << shows << " " << ms;
  const std::tuple<bool, bool, int> wishes[] = {
      {false, true, -1}, {false, false, -1}, {true, false, 0}, {true, true, 5}};
  for (const auto& [wanted, ticked, delay] : wishes)
    EXPECT_EQ(forms::WhileWanted(wanted, ticked, 5), delay) << wanted << ticked;
}

}  // namespace
