// The Win32 forms runtime (platform/win32/win32_runtime.cpp and its parts) with real windows under
// Wine, on test forms of its own: what the end-to-end cases cannot see of the program's windows.
// The windows' and controls' styles, places, fonts and tool tips; input reaching the handlers;
// timers; and the life cycle: loading, unloading, and the end with the last window.
#include <windows.h>

#include "platform/win32/win32_runtime.h"
// The common controls' header builds on <windows.h>.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "platform/runtime_rules.h"
#include "platform/win32/fonts.h"

namespace {

using namespace std::chrono_literals;
using forms::ControlKind;

constexpr int kLabel = 1, kBox = 2, kGo = 3, kExit = 4, kFast = 5, kSlow = 6;

// A popup with a label, a text box and two buttons, of which only Exit has no tool tip, and two
// timers: every 1 ms and every 300 ms.
constexpr forms::ControlDesign kControls[] = {
    {.id = kLabel,
     .name = "Label",
     .kind = ControlKind::Label,
     .caption = "Oznaka",
     .left = 150,
     .top = 150,
     .width = 1500,
     .height = 300,
     .alignment = forms::Alignment::Center,
     .font = {"MS Sans Serif", 700, 13.5}},
    {.id = kBox,
     .name = "Box",
     .kind = ControlKind::TextBox,
     .left = 150,
     .top = 600,
     .width = 1500,
     .height = 375,
     .tabIndex = 3,
     .alignment = forms::Alignment::Center,
     .toolTip = "Unesite"},
    {.id = kGo,
     .name = "Go",
     .kind = ControlKind::CommandButton,
     .caption = "&Kreni",
     .left = 150,
     .top = 1200,
     .width = 1245,
     .height = 525,
     .tabIndex = 1,
     .toolTip = "Kreni odmah"},
    {.id = kExit,
     .name = "Exit",
     .kind = ControlKind::CommandButton,
     .caption = "I&zlaz",
     .left = 1500,
     .top = 1200,
     .width = 1245,
     .height = 525,
     .tabIndex = 0},
    {.id = kFast, .name = "Fast", .kind = ControlKind::Timer, .interval = 1},
    {.id = kSlow, .name = "Slow", .kind = ControlKind::Timer, .interval = 300},
};
// The controls that are windows: all but the timers.
constexpr std::span<const forms::ControlDesign> kWindowed(kControls, 4);

constexpr forms::ControlDesign kOk[] = {{.id = kExit,
                                         .name = "OK",
                                         .kind = ControlKind::CommandButton,
                                         .caption = "OK",
                                         .left = 120,
                                         .top = 120,
                                         .width = 1245,
                                         .height = 525}};

const forms::FormDesign kPopup = {.name = "TestPopup",
                                  .caption = "Proba",
                                  .borderStyle = forms::BorderStyle::None,
                                  .backColor = forms::kActiveBorderColor,
                                  .clientWidth = 3000,
                                  .clientHeight = 2250,
                                  .startUpPosition = forms::StartUpPosition::Manual,
                                  .left = 1500,
                                  .top = 1200,
                                  .controls = kControls};

const forms::FormDesign kFramed = {.name = "TestFramed",
                                   .caption = "Druga",
                                   .borderStyle = forms::BorderStyle::FixedSingle,
                                   .backColor = forms::kDefaultColor,
                                   .clientWidth = 3780,
                                   .clientHeight = 2820,
                                   .startUpPosition = forms::StartUpPosition::WindowsDefault,
                                   .controls = kOk};

// Form_MouseDown's arguments.
struct Press {
  int button, shift;
  float x, y;  // twips
  bool operator==(const Press&) const = default;
  friend void PrintTo(const Press& p, std::ostream* os) {
    *os << "{button " << p.button << ", shift " << p.shift << ", " << p.x << ", " << p.y << "}";
  }
};

// Notes what its handlers were given.
struct TestForm : forms::Form {
  TestForm(win32::Runtime& runtime, const forms::FormDesign& design)
      : runtime_(runtime), design_(design) {}
  const forms::FormDesign& Design() const override { return design_; }
  void Form_Load() override {
    ++loads;
    visibleWhileLoading = IsWindowVisible(static_cast<HWND>(runtime_.hWnd(*this)));
  }
  void Form_MouseDown(int button, int shift, float x, float y) override {
    presses.push_back({button, shift, x, y});
  }
  void Form_Unload(int& cancel) override { cancel = ++unloads == 1 && cancelFirstUnload; }
  void Click(int control) override {
    clicks.push_back(control);
    if (endOnClick) runtime_.End();
  }
  void Change(int control) override { changes.push_back(control); }
  void Timer(int control) override { ++ticks[control]; }
  // Fast answers -1 (no tick needed) once it ticked `fastTicks` times.
  int TimerDelay(int timer) override {
    return timer == kFast && ticks[kFast] >= fastTicks ? -1 : forms::Form::TimerDelay(timer);
  }

  int loads = 0, unloads = 0, fastTicks = 1 << 30;
  bool cancelFirstUnload = false, visibleWhileLoading = true, endOnClick = false;
  std::vector<Press> presses;
  std::vector<int> clicks, changes;
  std::map<int, int> ticks;
  win32::Runtime& runtime_;
  const forms::FormDesign& design_;
};

class RuntimeTest : public ::testing::Test {
 protected:
  RuntimeTest() {
    runtime.OnEnding([this] { windowsAtEndings.push_back(Window(form) || Window(framed)); });
  }
  HWND Window(const forms::Form& f) { return runtime.LoadedWindow(f); }
  HWND Control(int id) { return runtime.ControlWindow(form, id); }
  // The font a control was given.
  LOGFONTA Font(int id) {
    LOGFONTA font = {};
    const auto handle = reinterpret_cast<HFONT>(SendMessageA(Control(id), WM_GETFONT, 0, 0));
    GetObjectA(handle, sizeof font, &font);
    return font;
  }
  // The popup's tool tip window.
  HWND ToolTips() {
    HWND tips = nullptr;
    do tips = FindWindowExA(nullptr, tips, TOOLTIPS_CLASSA, nullptr);
    while (tips && GetWindow(tips, GW_OWNER) != Window(form));
    return tips;
  }

  win32::Runtime runtime{GetModuleHandleA(nullptr)};
  TestForm form{runtime, kPopup};
  TestForm framed{runtime, kFramed};
  // At the screen's dpi, read once as the runtime reads it once.
  const float tx = runtime.TwipsPerPixelX(), ty = runtime.TwipsPerPixelY();
  const int dpi = static_cast<int>(std::lround(1440 / ty));
  std::vector<bool> windowsAtEndings;  // whether a window was left, at each
};

// ------------------------------------------------------------------ windows and controls
// Both windows' frames, the popup's place and their sizes are the end-to-end cases'.

TEST_F(RuntimeTest, AFramedWindowHasACaptionAndASystemMenuOnly) {
  runtime.Show(framed);
  EXPECT_EQ(GetWindowLongA(Window(framed), GWL_STYLE) &
                (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MAXIMIZEBOX | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU);
}

TEST_F(RuntimeTest, EachWindowIsPaintedInItsDesignsColour) {
  runtime.Show(form);
  runtime.Show(framed);
  EXPECT_EQ(GetClassLongPtrA(Window(form), GCLP_HBRBACKGROUND), ULONG_PTR{COLOR_ACTIVEBORDER + 1});
  EXPECT_EQ(GetClassLongPtrA(Window(framed), GCLP_HBRBACKGROUND), ULONG_PTR{COLOR_BTNFACE + 1});
}

// Z-order is the order Tab visits them.
// The label (outside the tab order) comes just before the box it names, where a screen reader
// looks for a text box's name.
TEST_F(RuntimeTest, ControlsAreMadeInTabOrderTheNamingLabelBeforeItsBoxAndNoTimerIsAWindow) {
  runtime.Show(form);
  std::vector<HWND> children;
  for (HWND c = GetWindow(Window(form), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    children.push_back(c);
  EXPECT_EQ(children, (std::vector{Control(kExit), Control(kGo), Control(kLabel), Control(kBox)}));
}

TEST_F(RuntimeTest, EachControlStandsAtItsDesignsPlaceInPixels) {
  runtime.Show(form);
  const auto px = forms::TwipsToPixels;
  for (const forms::ControlDesign& c : kWindowed) {
    SCOPED_TRACE(c.name);
    RECT r;
    GetWindowRect(Control(c.id), &r);
    MapWindowPoints(nullptr, Window(form), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, px(c.left, tx));
    EXPECT_EQ(r.top, px(c.top, ty));
    EXPECT_EQ(r.right - r.left, px(c.width, tx));
    EXPECT_EQ(r.bottom - r.top, px(c.height, ty));
  }
}

TEST_F(RuntimeTest, EachControlIsAWindowOfItsKindsClass) {
  runtime.Show(form);
  const std::map<int, std::string> classes = {
      {kLabel, "Static"}, {kBox, "Edit"}, {kGo, "Button"}, {kExit, "Button"}};
  for (const forms::ControlDesign& c : kWindowed) {
    char name[32] = {};
    GetClassNameA(Control(c.id), name, sizeof name);
    EXPECT_STRCASEEQ(name, classes.at(c.id).c_str()) << c.name;
  }
}

TEST_F(RuntimeTest, EachControlShowsItsCaption) {
  runtime.Show(form);
  for (const forms::ControlDesign& c : kWindowed)
    EXPECT_EQ(runtime.Text(form, c.id), c.caption) << c.name;
}

TEST_F(RuntimeTest, ALabelAlignedToTheCentreIsCentred) {
  runtime.Show(form);
  EXPECT_EQ(GetWindowLongA(Control(kLabel), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
}

TEST_F(RuntimeTest, ATextBoxAlignedToTheCentreIsCentred) {
  runtime.Show(form);
  EXPECT_TRUE(GetWindowLongA(Control(kBox), GWL_STYLE) & ES_CENTER);
}

TEST_F(RuntimeTest, AControlTakesItsDesignsFontAtTheDpi) {
  runtime.Show(form);
  const LOGFONTA label = Font(kLabel);
  EXPECT_EQ(label.lfFaceName, win32::ChooseFace("MS Sans Serif", win32::FontInstalled).face);
  EXPECT_EQ(label.lfWeight, 700);
  EXPECT_EQ(label.lfHeight, win32::FontHeight(13.5, dpi));
}

TEST_F(RuntimeTest, AControlWhoseDesignNamesNoFontTakesTheDialogFontAtTheDpi) {
  runtime.Show(form);
  const LOGFONTA button = Font(kGo);
  EXPECT_STREQ(button.lfFaceName, "MS Shell Dlg");
  EXPECT_EQ(button.lfHeight, win32::FontHeight(8, dpi));
}

// A label is painted on the window's colour, not the system's for labels.
TEST_F(RuntimeTest, ALabelIsPaintedOnItsWindowsColour) {
  runtime.Show(form);
  HDC dc = GetDC(Control(kLabel));
  EXPECT_EQ(SendMessageA(Window(form), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(Control(kLabel))),
            reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_ACTIVEBORDER)));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_ACTIVEBORDER));
  ReleaseDC(Control(kLabel), dc);
}

TEST_F(RuntimeTest, TheControlsWithAToolTipHaveOneEach) {
  runtime.Show(form);
  HWND tips = ToolTips();
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 2);
}

TEST_F(RuntimeTest, AButtonsToolTipIsItsDesigns) {
  runtime.Show(form);
  HWND tips = ToolTips();
  ASSERT_NE(tips, nullptr);
  char text[64] = {};
  TTTOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = Window(form);
  tool.uId = reinterpret_cast<UINT_PTR>(Control(kGo));
  tool.lpszText = text;
  SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, "Kreni odmah");
}

// ------------------------------------------------------------------ input and timers

// The focus starts on tab index 0, Exit. A plain letter before it is no access key: taken as one,
// 'k' would click Go (&Kreni) first.
TEST_F(RuntimeTest, EnterPressesTheFocusedButtonFirstThatOfTabIndexZero) {
  runtime.Show(form);
  PostMessageA(GetFocus(), WM_CHAR, 'k', 0);
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  runtime.RunUntil([&] { return !form.clicks.empty(); }, 3s);
  EXPECT_EQ(form.clicks, std::vector{kExit});
}

// The clock sets its own 1000 times a second: each native set repaints.
TEST_F(RuntimeTest, ATextIsSetOnlyWhenItDiffers) {
  runtime.Show(form);
  runtime.SetText(form, kBox, "12:00:00");
  runtime.SetText(form, kBox, "12:00:00");
  EXPECT_EQ(form.changes, std::vector{kBox});
}

TEST_F(RuntimeTest, APressOfAnyButtonOnTheBareSurfaceReachesFormMouseDownInTwips) {
  runtime.Show(form);
  SendMessageA(Window(form), WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT | MK_CONTROL,
               MAKELPARAM(10, 20));
  SendMessageA(Window(form), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  EXPECT_EQ(SendMessageA(Window(form), WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), MAKELPARAM(5, 6)),
            TRUE);  // handled, as Windows wants of an extra button
  EXPECT_EQ(form.presses,
            (std::vector<Press>{
                {2, 3, 10 * tx, 20 * ty}, {1, 0, 3 * tx, 4 * ty}, {4, 0, 5 * tx, 6 * ty}}));
}

// Fast, every 1 ms, answers -1 after 3 ticks; Slow, due at 300 ms, still ticks.
TEST_F(RuntimeTest, ATimerAnsweringMinusOneStopsAndHoldsNoOtherBack) {
  form.fastTicks = 3;
  runtime.Show(form);
  ASSERT_TRUE(runtime.RunUntil([&] { return form.ticks[kSlow] >= 1; }, 3s));
  EXPECT_EQ(form.ticks[kFast], 3);
}

// ------------------------------------------------------------------ life cycle

TEST_F(RuntimeTest, FormLoadRunsBeforeTheWindowShows) {
  runtime.Show(form);
  EXPECT_FALSE(form.visibleWhileLoading);
}

TEST_F(RuntimeTest, AHiddenWindowShowsAgainWithoutLoading) {
  runtime.Show(form);
  runtime.Hide(form);
  runtime.Show(form);
  EXPECT_EQ(form.loads, 1);
}

TEST_F(RuntimeTest, FormUnloadMayKeepTheWindowOnce) {
  runtime.Show(framed);
  framed.cancelFirstUnload = true;
  SendMessageA(Window(framed), WM_CLOSE, 0, 0);
  EXPECT_NE(Window(framed), nullptr);
  SendMessageA(Window(framed), WM_CLOSE, 0, 0);
  EXPECT_EQ(Window(framed), nullptr);
}

// The popup still shows, so the program runs on: one that ended with the first closed window
// could not load it again. (A 'not ended' check goes: this one fails on the same fault.)
TEST_F(RuntimeTest, AClosedWindowLoadsAnewWhileAnotherShows) {
  runtime.Show(form);
  runtime.Show(framed);
  SendMessageA(Window(framed), WM_CLOSE, 0, 0);
  runtime.Show(framed);
  EXPECT_EQ(framed.loads, 2);
}

// A hidden window alone could never be brought back.
TEST_F(RuntimeTest, TheProgramEndsWhenOnlyAHiddenWindowIsLeft) {
  runtime.Show(form);
  runtime.Show(framed);
  runtime.Hide(framed);
  SendMessageA(Window(form), WM_CLOSE, 0, 0);
  EXPECT_TRUE(runtime.Ended());
  EXPECT_EQ(runtime.Run(), 0);
}

// Both windows show, Fast ticks every millisecond, and Go ends the program (End) on its click.
class RuntimeEnd : public RuntimeTest {
 protected:
  void SetUp() override {
    form.endOnClick = true;
    runtime.Show(form);
    runtime.Show(framed);
    ASSERT_TRUE(runtime.RunUntil([&] { return form.ticks[kFast] >= 20; }, 3s));
    SendMessageA(Control(kGo), BM_CLICK, 0, 0);
  }
};

TEST_F(RuntimeEnd, HidesEveryWindowAtOnce) {
  EXPECT_FALSE(IsWindowVisible(Window(form)));
  EXPECT_FALSE(IsWindowVisible(Window(framed)));
}

// A second click, then Run's loop: no click, unload or tick runs after the end.
TEST_F(RuntimeEnd, RunsNoHandlerAfterIt) {
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);
  const int ticks = form.ticks[kFast];
  EXPECT_EQ(runtime.Run(), 0);
  EXPECT_EQ(form.clicks.size(), 1u);
  EXPECT_EQ(form.unloads + framed.unloads, 0);
  EXPECT_EQ(form.ticks[kFast], ticks);
}

// The endings (the wait for hung-up connections) run once, when no window is left: endings run at
// End, skipped or run twice fail here. (A check that none ran before Run goes: it fails here too.)
TEST_F(RuntimeEnd, RunsTheEndingsOnceTheWindowsAreGone) {
  EXPECT_EQ(runtime.Run(), 0);
  EXPECT_EQ(windowsAtEndings, std::vector{false});
}

}  // namespace
