// The rules both forms runtimes follow; the backends' tests cover the native calls around them.
#include "platform/runtime_rules.h"

#include <gtest/gtest.h>

#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "about/form1.h"
#include "main_window/shaped_form.h"
#include "platform/label_text.h"
#include "platform/timer_rule.h"

namespace {

// Twips per pixel (15 for no dpi), pixels rounded; a press's button and Shift|Ctrl|Alt, in twips.
TEST(RuntimeRules, TwipsPixelsAndTheMousesArguments) {
  const std::tuple<double, float, int, int> pixels[] = {
      {120, 12, 8805, 734}, {96, 15, 7, 0}, {96, 15, 8, 1}, {0, 15, 1500, 100}, {-1, 15, 1500, 100},
  };
  for (const auto& [dpi, tpp, twips, px] : pixels) {
    EXPECT_FLOAT_EQ(forms::TwipsPerPixel(dpi), tpp) << dpi;
    EXPECT_EQ(forms::TwipsToPixels(twips, tpp), px) << twips << " at " << tpp;
  }
  using enum forms::MouseButton;
  const std::tuple<forms::MouseButton, bool, bool, bool, int, int> presses[] = {
      {Left, false, false, true, 1, 4},
      {Right, true, false, false, 2, 1},
      {Other, true, true, true, 4, 7},
  };
  for (const auto& [button, shift, ctrl, alt, wantButton, wantShift] : presses) {
    const auto a = forms::MouseDown(button, shift, ctrl, alt, 10, 3, 15, 12);
    EXPECT_EQ(std::tuple(a.button, a.shift, a.x, a.y),
              std::tuple(wantButton, wantShift, 150.f, 36.f));
  }
}

// A timer that ticked takes its new delay, another only comes forward (one due is not starved);
// a wish while wanted: at once on change, then each interval (the clock's turn of the second is
// the Qt clock test's: due at a second's start).
TEST(RuntimeRules, TimerRules) {
  using enum forms::TimerAction;
  const std::tuple<bool, int, bool, int, forms::TimerAction> rearms[] = {
      {true, 1000, false, 0, Start}, {true, -1, false, 0, Stop}, {false, 0, false, 0, Start},
      {false, 0, true, 500, Start},  {false, 1, true, 1, Keep},  {false, 800, true, 500, Keep},
      {false, -1, true, 500, Keep},
  };
  for (const auto& [ticked, delay, active, remaining, action] : rearms)
    EXPECT_EQ(forms::RearmTimer(ticked, delay, active, remaining), action) << delay;
  for (const auto& [wanted, ticked, delay] :
       {std::tuple(false, true, -1), {true, false, 0}, {true, true, 5}})
    EXPECT_EQ(forms::WhileWanted(wanted, ticked, 5), delay) << wanted << ticked;
}

// The label that names a text box for a screen reader: only a label right before the box in
// the design. In the windows: Label1 names Text1, and nothing else is named so.
TEST(RuntimeRules, TheLabelJustBeforeATextBoxNamesIt) {
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
  std::vector<std::pair<std::string_view, std::string_view>> named;
  for (const forms::FormDesign* design :
       {&main_window::ShapedForm::kDesign, &about::Form1::kDesign})
    for (const auto& c : design->controls)
      if (const forms::ControlDesign* by = forms::NamingLabel(design->controls, c))
        named.emplace_back(c.name, by->name);
  EXPECT_EQ(named,
            (std::vector<std::pair<std::string_view, std::string_view>>{{"Text1", "Label1"}}));
}

}  // namespace
