// The rules both forms runtimes follow (platform/runtime_rules.h, platform/timer_rule.h,
// platform/label_text.h): twips and pixels, a press's arguments, how timers are re-armed, and how
// a wrapped caption shows. Both the Qt and the Win32 runtime call these, so a fault here is a
// fault of both; the backends' own tests cover the native calls around them.
#include "platform/runtime_rules.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string_view>
#include <utility>
#include <vector>

#include "about/form1.h"
#include "main_window/shaped_form.h"
#include "platform/label_text.h"
#include "platform/timer_rule.h"
#include "tests/named_rows.h"

namespace {

using named_rows::PrintTo;

// ------------------------------------------------------------------ twips and pixels

struct Screen {
  const char* name;
  double dpi;
  float twipsPerPixel;
};

const Screen kScreens[] = {
    {"At120Dpi", 120, 12},
    {"At96Dpi", 96, 15},
    {"NoDpiIsThatOf96", 0, 15},
    {"ANegativeDpiIsThatOf96", -1, 15},
};

class TwipsPerPixel : public ::testing::TestWithParam<Screen> {};

TEST_P(TwipsPerPixel, AreAnInchsTwipsOverTheDpi) {
  EXPECT_FLOAT_EQ(forms::TwipsPerPixel(GetParam().dpi), GetParam().twipsPerPixel);
}

INSTANTIATE_TEST_SUITE_P(Screens, TwipsPerPixel, ::testing::ValuesIn(kScreens),
                         named_rows::ByName());

struct Length {
  const char* name;
  int twips;
  float twipsPerPixel;
  int pixels;
};

// Rounded to the nearest: truncation fails the first and the last row.
const Length kLengths[] = {
    {"TheMainWindowsWidthAt120Dpi", 8805, 12, 734},
    {"LessThanHalfAPixel", 7, 15, 0},
    {"MoreThanHalfAPixel", 8, 15, 1},
};

class TwipsToPixels : public ::testing::TestWithParam<Length> {};

TEST_P(TwipsToPixels, RoundToTheNearestPixel) {
  const Length& l = GetParam();
  EXPECT_EQ(forms::TwipsToPixels(l.twips, l.twipsPerPixel), l.pixels);
}

INSTANTIATE_TEST_SUITE_P(Lengths, TwipsToPixels, ::testing::ValuesIn(kLengths),
                         named_rows::ByName());

// ------------------------------------------------------------------ a press's arguments

struct Press {
  const char* name;
  forms::MouseButton button;
  bool shift, ctrl, alt;
  int wantButton, wantShift;  // Form_MouseDown's: 1, 2, 4; Shift 1 + Ctrl 2 + Alt 4
};

using enum forms::MouseButton;

const Press kPresses[] = {
    // name, button, shift, ctrl, alt, wantButton, wantShift
    {"LeftWithAlt", Left, false, false, true, 1, 4},
    {"RightWithShift", Right, true, false, false, 2, 1},
    {"AnyOtherWithAllThree", Other, true, true, true, 4, 7},
};

class MouseDown : public ::testing::TestWithParam<Press> {};

TEST_P(MouseDown, NamesTheButton) {
  const Press& p = GetParam();
  EXPECT_EQ(forms::MouseDown(p.button, p.shift, p.ctrl, p.alt, 0, 0, 15, 15).button, p.wantButton);
}

TEST_P(MouseDown, AddsUpTheKeysHeld) {
  const Press& p = GetParam();
  EXPECT_EQ(forms::MouseDown(p.button, p.shift, p.ctrl, p.alt, 0, 0, 15, 15).shift, p.wantShift);
}

INSTANTIATE_TEST_SUITE_P(Presses, MouseDown, ::testing::ValuesIn(kPresses), named_rows::ByName());

// Each axis by its own twips per pixel: 10 px at 15 and 3 px at 12.
TEST(MouseDownPlace, IsInTwipsOfEachAxis) {
  const forms::MouseDownArgs a = forms::MouseDown(Left, false, false, false, 10, 3, 15, 12);
  EXPECT_FLOAT_EQ(a.x, 150);
  EXPECT_FLOAT_EQ(a.y, 36);
}

// ------------------------------------------------------------------ timers

struct Rearm {
  const char* name;
  bool ticked;  // the timer whose tick the form just handled
  int delay;    // the form's answer: -1 for no tick
  bool active;
  int remaining;
  forms::TimerAction action;
};

using enum forms::TimerAction;

// A timer that ticked takes its new delay; another only comes forward, never goes back, so that a
// timer due is not starved by its neighbours being asked again. (When the clock's delay is due,
// at a second's start, is the Qt clock test's.)
const Rearm kRearms[] = {
    // name, ticked, delay, active, remaining, action
    {"TickedTakesItsDelay", true, 1000, false, 0, Start},
    {"TickedAndUnwantedStops", true, -1, false, 0, Stop},
    {"AStoppedOneStarts", false, 0, false, 0, Start},
    {"ComesForward", false, 0, true, 500, Start},
    {"KeepsAnEqualTurn", false, 1, true, 1, Keep},
    {"NeverGoesBack", false, 800, true, 500, Keep},
    {"UnwantedRunsToItsTick", false, -1, true, 500, Keep},
};

class RearmTimer : public ::testing::TestWithParam<Rearm> {};

TEST_P(RearmTimer, StartsStopsOrKeepsTheTimer) {
  const Rearm& r = GetParam();
  EXPECT_EQ(forms::RearmTimer(r.ticked, r.delay, r.active, r.remaining), r.action);
}

INSTANTIATE_TEST_SUITE_P(Timers, RearmTimer, ::testing::ValuesIn(kRearms), named_rows::ByName());

struct Wish {
  const char* name;
  bool wanted, ticked;
  int delay;  // for a design interval of 5
};

const Wish kWishes[] = {
    {"UnwantedNever", false, true, -1},
    {"NewlyWantedAtOnce", true, false, 0},
    {"StillWantedEachInterval", true, true, 5},
};

class WhileWanted : public ::testing::TestWithParam<Wish> {};

TEST_P(WhileWanted, TicksAtOnceThenEachIntervalElseNever) {
  const Wish& w = GetParam();
  EXPECT_EQ(forms::WhileWanted(w.wanted, w.ticked, 5), w.delay);
}

INSTANTIATE_TEST_SUITE_P(Wishes, WhileWanted, ::testing::ValuesIn(kWishes), named_rows::ByName());

// ------------------------------------------------------------------ captions

// Runs of spaces in a wrapped caption were sized for the font it was written with; each shows as
// the line end it stands for, whatever its length. Which labels wrap is the design tables' test.
// (An unwrapped caption shown as designed goes: it restates the function's first line, and no
// unwrapped caption of the designs holds a run of spaces for that fault to show on.)
TEST(ShownCaption, EachRunOfSpacesInAWrappedOneIsALineEnd) {
  EXPECT_EQ(forms::ShownCaption("a  b   c d", true, "\r\n"), "a\r\nb\r\nc d");
}

// ------------------------------------------------------------------ the label naming a text box

// For a screen reader: only a label right before a text box in the design names it.
TEST(NamingLabel, IsTheLabelRightBeforeATextBox) {
  using forms::ControlKind;
  const forms::ControlDesign label = {.id = 1, .name = "Label", .kind = ControlKind::Label};
  const forms::ControlDesign box = {.id = 2, .name = "Box", .kind = ControlKind::TextBox};
  const forms::ControlDesign button = {.id = 3, .name = "Go", .kind = ControlKind::CommandButton};
  const struct {
    const char* row;
    std::vector<forms::ControlDesign> controls;
    int of;     // the index of the control asked about
    int named;  // the index of its naming label, or -1
  } rows[] = {
      {"label then box", {label, box}, 1, 0},
      {"label, button, box", {label, button, box}, 2, -1},
      {"box first", {box, label}, 0, -1},
      {"a label names no button", {label, button}, 1, -1},
      {"two boxes, one label", {label, box, box}, 2, -1},
  };
  for (const auto& r : rows) {
    const forms::ControlDesign* got = forms::NamingLabel(r.controls, r.controls[r.of]);
    const forms::ControlDesign* want = r.named < 0 ? nullptr : &r.controls[r.named];
    EXPECT_EQ(got, want) << r.row;
  }
}

// In the windows as designed, Label1 names Text1 and nothing else is named so.
TEST(NamingLabel, InTheDesignsOnlyLabel1NamesText1) {
  using Pair = std::pair<std::string_view, std::string_view>;
  std::vector<Pair> named;
  for (const forms::FormDesign* design :
       {&main_window::ShapedForm::kDesign, &about::Form1::kDesign}) {
    for (const auto& c : design->controls) {
      if (const forms::ControlDesign* by = forms::NamingLabel(design->controls, c)) {
        named.emplace_back(c.name, by->name);
      }
    }
  }
  EXPECT_EQ(named, (std::vector<Pair>{{"Text1", "Label1"}}));
}

}  // namespace
