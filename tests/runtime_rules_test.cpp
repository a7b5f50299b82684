// The rules both forms runtimes follow, as they decide them; the backends'
// own tests cover only the native calls around them.
#include "platform/runtime_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/timer_rule.h"

namespace {

using forms::MouseButton;

TEST(RuntimeRules, PixelsAndTwips) {
  struct Case {
    double dpi;
    float tpp;
    int twips, pixels;
  } const cases[] = {
      {96, 15, 8805, 587},  {120, 12, 8805, 734},                  // 733.75 up
      {120, 12, 5025, 419},                                        // 418.75 up
      {144, 10, 4, 0},      {96, 15, 7, 0},       {96, 15, 8, 1},  // halves and below
      {0, 15, 1500, 100},   {-1, 15, 1500, 100},                   // a screen that tells no dpi
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(forms::TwipsPerPixel(c.dpi), c.tpp) << c.dpi;
    EXPECT_EQ(forms::TwipsToPixels(c.twips, c.tpp), c.pixels) << c.twips << " at " << c.tpp;
  }
}

TEST(RuntimeRules, MouseDownArguments) {
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
    const forms::MouseDownArgs a =
        forms::MouseDown(c.button, c.shift, c.ctrl, c.alt, 10, 3, 15, 12);
    EXPECT_EQ(a.button, c.wantButton);
    EXPECT_EQ(a.shift, c.wantShift) << c.shift << c.ctrl << c.alt;
    EXPECT_FLOAT_EQ(a.x, 150);
    EXPECT_FLOAT_EQ(a.y, 36);
  }
}

TEST(RuntimeRules, TheProgramEndsWhenNoLoadedWindowShows) {
  const std::vector<std::vector<bool>> ends = {{}, {false}, {false, false}};
  const std::vector<std::vector<bool>> goesOn = {{true}, {false, true}, {true, false}};
  auto shows = [](bool visible) { return visible; };
  for (const auto& windows : ends) EXPECT_TRUE(forms::NoWindowLeftToUser(windows, shows));
  for (const auto& windows : goesOn) EXPECT_FALSE(forms::NoWindowLeftToUser(windows, shows));
}

TEST(RuntimeRules, AFormIsLoadedOnDemandAndTextIsSetOnlyOnAChange) {
  int window = 0, shows = 0;
  auto find = [&]() -> int* { return window ? &window : nullptr; };
  EXPECT_EQ(forms::Require(find, [&] { ++shows; }), nullptr);  // could not load: ending
  EXPECT_EQ(forms::Require(find, [&] { ++shows, window = 1; }), &window);
  EXPECT_EQ(forms::Require(find, [&] { ++shows; }), &window);
  EXPECT_EQ(shows, 2);

  int sets = 0;
  forms::SetTextIfChanged("12:00:00", "12:00:00", "lblTime", [&] { ++sets; });
  EXPECT_EQ(sets, 0);
  forms::SetTextIfChanged("12:00:00", "12:00:01", "lblTime", [&] { ++sets; });
  EXPECT_EQ(sets, 1);
}

TEST(RuntimeRules, TheTickedTimerTakesItsNewDelayOthersOnlyComeForward) {
  using forms::RearmTimer;
  using forms::TimerAction;
  EXPECT_EQ(RearmTimer(true, 1000, false, 0), TimerAction::Start);
  EXPECT_EQ(RearmTimer(true, -1, false, 0), TimerAction::Stop);
  EXPECT_EQ(RearmTimer(false, 0, false, 0), TimerAction::Start);   // idle, now needed
  EXPECT_EQ(RearmTimer(false, 0, true, 500), TimerAction::Start);  // sooner
  EXPECT_EQ(RearmTimer(false, 1, true, 1), TimerAction::Keep);     // not starved
  EXPECT_EQ(RearmTimer(false, 800, true, 500), TimerAction::Keep);
  EXPECT_EQ(RearmTimer(false, -1, true, 500), TimerAction::Keep);  // stops on its own tick
}

TEST(RuntimeRules, WhatAFormWantsOfATimerBecomesItsDelay) {
  struct Case {
    bool shows;
    int millisecond, delay;
  } const clock[] = {
      {false, 0, 1}, {false, 500, 1}, {true, 0, 1000}, {true, 1, 999}, {true, 999, 1}};
  for (const Case& c : clock)
    EXPECT_EQ(forms::AtEachSecond(c.shows, {.millisecond = c.millisecond}, 1), c.delay)
        << c.shows << " " << c.millisecond;
  EXPECT_EQ(forms::WhileWanted(false, true, 1), -1);
  EXPECT_EQ(forms::WhileWanted(false, false, 1), -1);
  EXPECT_EQ(forms::WhileWanted(true, false, 5), 0);  // at once after the change
  EXPECT_EQ(forms::WhileWanted(true, true, 5), 5);
}

// Every timer of the form is asked after an event, in design order, and the
// backend is told what to do with each; controls that are not timers are not
// asked.
TEST(RuntimeRules, AfterAnEventEveryTimerIsAskedInDesignOrder) {
  static constexpr forms::ControlDesign kControls[] = {
      {.id = 7, .name = "Slow", .kind = forms::ControlKind::Timer, .interval = 300},
      {.id = 2, .name = "Box", .kind = forms::ControlKind::TextBox},
      {.id = 3, .name = "Fast", .kind = forms::ControlKind::Timer, .interval = 1},
  };
  static constexpr forms::FormDesign kDesign = {.name = "F",
                                                .caption = "",
                                                .borderStyle = {},
                                                .backColor = 0,
                                                .clientWidth = 0,
                                                .clientHeight = 0,
                                                .startUpPosition = {},
                                                .controls = kControls};
  struct F : forms::Form {
    const forms::FormDesign& Design() const override { return kDesign; }
    int TimerDelay(int timer) override { return timer == 3 ? -1 : 100; }
  } form;
  struct Slots : forms::FormTimerSlots {
    bool Active(int timer) override { return timer == 7; }
    int RemainingMs(int) override { return 200; }
    void Start(int timer, int delay, bool ticked) override {
      log += "start " + std::to_string(timer) + " " + std::to_string(delay) + (ticked ? "!" : "") +
             ";";
    }
    void Stop(int timer) override { log += "stop " + std::to_string(timer) + ";"; }
    int AskDelay(forms::Form& f, int timer) override {
      log += "ask " + std::to_string(timer) + ";";
      return f.TimerDelay(timer);
    }
    std::string log;
  } timers;
  forms::RearmTimers(form, 3, timers);
  EXPECT_EQ(timers.log, "ask 7;start 7 100;ask 3;stop 3;");
  timers.log.clear();
  forms::RearmTimers(form, 7, timers);
  EXPECT_EQ(timers.log, "ask 7;start 7 100!;ask 3;");
  timers.log.clear();
  forms::TimeChanged(form, timers);  // the active one is due now, then all are asked
  EXPECT_EQ(timers.log, "start 7 0;ask 7;start 7 100;ask 3;");
}

}  // namespace
