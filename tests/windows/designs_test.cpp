// The order the Win32 runtime makes the controls' windows in, which is also
// the order Tab visits them.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/win32_runtime.h"

namespace {

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
