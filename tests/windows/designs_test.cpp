// The two windows' designs as the Win32 runtime lays them out.
#include <gtest/gtest.h>

#include "about/form1.h"
#include "main_window/shaped_form.h"
#include "platform/runtime_rules.h"
#include "platform/win32/win32_runtime.h"

namespace {

using forms::TwipsToPixels;

struct Size {
  int width, height;
  bool operator==(const Size&) const = default;
};

Size ClientPixels(const forms::FormDesign& d, float tpp) {
  return {TwipsToPixels(d.clientWidth, tpp), TwipsToPixels(d.clientHeight, tpp)};
}

TEST(Designs, ClientSizesAt96And120Dpi) {
  EXPECT_EQ(ClientPixels(main_window::ShapedForm::kDesign, 15), (Size{587, 335}));
  EXPECT_EQ(ClientPixels(main_window::ShapedForm::kDesign, 12), (Size{734, 419}));
  EXPECT_EQ(ClientPixels(about::Form1::kDesign, 15), (Size{252, 188}));
  EXPECT_EQ(ClientPixels(about::Form1::kDesign, 12), (Size{315, 235}));
}

TEST(Designs, MainWindowControlsAreMadeInTabOrderExitFirst) {
  std::vector<std::string_view> names;
  for (const auto* c : win32::CreationOrder(main_window::ShapedForm::kDesign.controls))
    names.push_back(c->name);
  EXPECT_EQ(names,
            (std::vector<std::string_view>{"Command2", "Text1", "Command1", "Label1", "lblTime",
                                           "Command3", "Command4", "Command5", "Label2"}));
}

TEST(Designs, ControlsOutsideTheTabOrderComeLast) {
  const forms::ControlDesign controls[] = {
      {.id = 1, .name = "a", .kind = forms::ControlKind::Label, .width = 1, .height = 1},
      {.id = 2, .name = "t", .kind = forms::ControlKind::Timer, .tabIndex = 0},
      {.id = 3,
       .name = "b",
       .kind = forms::ControlKind::CommandButton,
       .width = 1,
       .height = 1,
       .tabIndex = 2},
      {.id = 4,
       .name = "c",
       .kind = forms::ControlKind::TextBox,
       .width = 1,
       .height = 1,
       .tabIndex = 1},
  };
  std::vector<int> ids;
  for (const auto* c : win32::CreationOrder(controls)) ids.push_back(c->id);
  EXPECT_EQ(ids, (std::vector{4, 3, 1}));  // no window for the timer
}

}  // namespace
