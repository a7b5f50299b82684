// The Win32 forms runtime with real windows: layout, input, life cycle and
// timers, on a test form and on the program's own two windows.
#include <windows.h>
// The common controls' header builds on <windows.h>.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "main_window/form_region.h"
#include "main_window/shaped_form.h"
#include "platform/runtime_rules.h"
#include "platform/win32/fonts.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_window_system.h"

namespace {

using namespace std::chrono_literals;
using forms::Alignment;
using forms::ControlKind;

constexpr int kLabel = 1, kBox = 2, kGo = 3, kExit = 4, kFast = 5, kSlow = 6;

// clang-format off
constexpr forms::ControlDesign kControls[] = {
    {.id = kLabel, .name = "Label", .kind = ControlKind::Label, .caption = "Oznaka",
     .left = 150, .top = 150, .width = 1500, .height = 300, .tabIndex = 2,
     .alignment = Alignment::Center, .font = {"MS Sans Serif", 700, 13.5}},
    {.id = kBox, .name = "Box", .kind = ControlKind::TextBox, .caption = "",
     .left = 150, .top = 600, .width = 1500, .height = 375, .tabIndex = 3,
     .alignment = Alignment::Center, .toolTip = "Unesite"},
    {.id = kGo, .name = "Go", .kind = ControlKind::CommandButton, .caption = "&Kreni",
     .left = 150, .top = 1200, .width = 1245, .height = 525, .tabIndex = 1,
     .toolTip = "Kreni odmah"},
    {.id = kExit, .name = "Exit", .kind = ControlKind::CommandButton, .caption = "I&zlaz",
     .left = 1500, .top = 1200, .width = 1245, .height = 525, .tabIndex = 0},
    {.id = kFast, .name = "Fast", .kind = ControlKind::Timer, .caption = "", .left = 0, .top = 0, .height = 0, .interval = 1},
    {.id = kSlow, .name = "Slow", .kind = ControlKind::Timer, .caption = "", .left = 0, .top = 0, .height = 0, .interval = 300},
};
constexpr forms::ControlDesign kOtherControls[] = {
    {.id = kExit, .name = "OK", .kind = ControlKind::CommandButton, .caption = "OK",
     .left = 120, .top = 120, .width = 1245, .height = 525, .tabIndex = 0},
};
// clang-format on

const forms::FormDesign kPopup = {
    .name = "TestPopup",
    .caption = "Proba",
    .borderStyle = forms::BorderStyle::None,
    .backColor = forms::kActiveBorderColor,
    .clientWidth = 3000,
    .clientHeight = 2250,
    .startUpPosition = forms::StartUpPosition::Manual,
    .left = 1500,
    .top = 1200,
    .controls = kControls,
};
const forms::FormDesign kFramed = {
    .name = "TestFramed",
    .caption = "Druga",
    .borderStyle = forms::BorderStyle::FixedSingle,
    .backColor = forms::kDefaultColor,
    .clientWidth = 3780,
    .clientHeight = 2820,
    .startUpPosition = forms::StartUpPosition::WindowsDefault,
    .controls = kOtherControls,
};

struct Press {
  int button, shift;
  float x, y;
};

class TestForm : public forms::Form {
 public:
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
  void Form_Unload(int& cancel) override {
    ++unloads;
    cancel = cancelUnload;
  }
  void Click(int control) override {
    clicks.push_back(control);
    if (onClick) onClick(control);
  }
  void Change(int control) override { changes.push_back(control); }
  void Timer(int control) override { ++ticks[control]; }
  int TimerDelay(int timer) override {
    if (auto it = delays.find(timer); it != delays.end())
      return it->second(ticks.count(timer) ? ticks.at(timer) : 0);
    return forms::Form::TimerDelay(timer);
  }

  int loads = 0, unloads = 0, cancelUnload = 0;
  bool visibleWhileLoading = true;
  std::vector<Press> presses;
  std::vector<int> clicks, changes;
  std::map<int, int> ticks;
  std::map<int, std::function<int(int)>> delays;  // by the ticks so far
  std::function<void(int)> onClick;

 private:
  win32::Runtime& runtime_;
  const forms::FormDesign& design_;
};

class RuntimeTest : public ::testing::Test {
 protected:
  RuntimeTest() {
    runtime.OnEnding([this] {
      ++endings;
      windowsAtEnding = Window(form) || Window(framed);
    });
  }
  HWND Window(const forms::Form& f) { return runtime.LoadedWindow(f); }
  HWND Control(int id) { return runtime.ControlWindow(form, id); }
  void Pump(std::chrono::milliseconds time) {
    runtime.RunUntil([] { return false; }, time);
  }
  void PumpUntil(const std::function<bool()>& done) { EXPECT_TRUE(runtime.RunUntil(done, 3s)); }

  win32::Runtime runtime{GetModuleHandleA(nullptr)};
  TestForm form{runtime, kPopup};
  TestForm framed{runtime, kFramed};
  int endings = 0;
  bool windowsAtEnding = false;
};

// Whether two regions cover the same pixels (however each splits them into
// rectangles).
bool SameArea(HRGN a, HRGN b) {
  HRGN difference = CreateRectRgn(0, 0, 0, 0);
  const int type = CombineRgn(difference, a, b, RGN_XOR);
  DeleteObject(difference);
  return type == NULLREGION;
}

RECT ClientOnScreen(HWND w) {
  RECT r;
  GetClientRect(w, &r);
  MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// ------------------------------------------------------------------ layout

TEST_F(RuntimeTest, ThePopupHasNoFrameAndSitsWhereTheDesignSaysInScreenPixels) {
  runtime.Show(form);
  HWND w = Window(form);
  const float tx = runtime.TwipsPerPixelX(), ty = runtime.TwipsPerPixelY();
  HDC screen = GetDC(nullptr);
  EXPECT_FLOAT_EQ(tx, 1440.0f / GetDeviceCaps(screen, LOGPIXELSX));
  ReleaseDC(nullptr, screen);
  const LONG style = GetWindowLongA(w, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
  RECT window, client = ClientOnScreen(w);
  GetWindowRect(w, &window);
  EXPECT_EQ(window.left, forms::TwipsToPixels(1500, tx));
  EXPECT_EQ(window.top, forms::TwipsToPixels(1200, ty));
  EXPECT_EQ(client.right - client.left, forms::TwipsToPixels(3000, tx));
  EXPECT_EQ(client.bottom - client.top, forms::TwipsToPixels(2250, ty));
  EXPECT_EQ(GetClassLongPtrA(w, GCLP_HBRBACKGROUND), COLOR_ACTIVEBORDER + 1);
}

TEST_F(RuntimeTest, TheFramedWindowHasACaptionAFixedFrameAndOnlyACloseButton) {
  runtime.Show(framed);
  HWND w = Window(framed);
  const LONG style = GetWindowLongA(w, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
  RECT client;
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, forms::TwipsToPixels(3780, runtime.TwipsPerPixelX()));
  EXPECT_EQ(client.bottom, forms::TwipsToPixels(2820, runtime.TwipsPerPixelY()));
  EXPECT_EQ(GetClassLongPtrA(w, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
}

TEST_F(RuntimeTest, ControlsAreStandardWindowsWithTheDesignsCaptionsPlacesAndAlignment) {
  runtime.Show(form);
  char cls[32];
  const struct {
    int id;
    const char* cls;
  } expected[] = {{kLabel, "Static"}, {kBox, "Edit"}, {kGo, "Button"}, {kExit, "Button"}};
  for (const auto& e : expected) {
    ASSERT_NE(Control(e.id), nullptr);
    GetClassNameA(Control(e.id), cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, e.cls);
  }
  EXPECT_EQ(runtime.Text(form, kGo), "&Kreni");
  EXPECT_EQ(runtime.Text(form, kLabel), "Oznaka");
  RECT r;
  GetWindowRect(Control(kExit), &r);
  MapWindowPoints(nullptr, Window(form), reinterpret_cast<POINT*>(&r), 2);
  const float tx = runtime.TwipsPerPixelX(), ty = runtime.TwipsPerPixelY();
  EXPECT_EQ(r.left, forms::TwipsToPixels(1500, tx));
  EXPECT_EQ(r.top, forms::TwipsToPixels(1200, ty));
  EXPECT_EQ(r.right - r.left, forms::TwipsToPixels(1245, tx));
  EXPECT_EQ(r.bottom - r.top, forms::TwipsToPixels(525, ty));
  EXPECT_EQ(GetWindowLongA(Control(kLabel), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
  EXPECT_TRUE(GetWindowLongA(Control(kBox), GWL_STYLE) & ES_CENTER);
}

TEST_F(RuntimeTest, ControlsGetTheDesignFontsAtTheScreensDpi) {
  runtime.Show(form);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  LOGFONTA label = {}, button = {};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Control(kLabel), WM_GETFONT, 0, 0)), sizeof label,
             &label);
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Control(kGo), WM_GETFONT, 0, 0)), sizeof button,
             &button);
  EXPECT_EQ(std::string(label.lfFaceName),
            win32::ChooseFace("MS Sans Serif", win32::FontInstalled).face);
  EXPECT_EQ(label.lfWeight, 700);
  EXPECT_EQ(label.lfHeight, win32::FontHeight(13.5, dpi));
  EXPECT_EQ(std::string(button.lfFaceName), "MS Shell Dlg");
  EXPECT_EQ(button.lfHeight, win32::FontHeight(8, dpi));
}

TEST_F(RuntimeTest, TabOrderFollowsTabIndexAndTheFocusStartsAtIndexZero) {
  runtime.Show(form);
  Pump(50ms);
  EXPECT_EQ(GetFocus(), Control(kExit));
  std::vector<HWND> visited;
  HWND at = GetFocus();
  for (int i = 0; i < 3; ++i) visited.push_back(at = GetNextDlgTabItem(Window(form), at, FALSE));
  EXPECT_EQ(visited, (std::vector{Control(kGo), Control(kBox), Control(kExit)}));
  // The keyboard's way there: Tab through the message loop.
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  PumpUntil([&] { return GetFocus() == Control(kGo); });
}

TEST_F(RuntimeTest, LabelsArePaintedOnTheWindowsColourAndKeepTheirMousePresses) {
  runtime.Show(form);
  HWND label = Control(kLabel);
  HDC dc = GetDC(label);
  const LRESULT brush = SendMessageA(Window(form), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(label));
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_ACTIVEBORDER)));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_ACTIVEBORDER));
  ReleaseDC(label, dc);
  // A label that answered HTTRANSPARENT would hand its presses to the window
  // beneath, which moves the window.
  RECT r;
  GetWindowRect(label, &r);
  EXPECT_EQ(SendMessageA(label, WM_NCHITTEST, 0, MAKELPARAM(r.left + 2, r.top + 2)), HTCLIENT);
}

TEST_F(RuntimeTest, ToolTipsAreRegisteredForTheControlsThatHaveThem) {
  runtime.Show(form);
  struct Search {
    HWND owner;
    HWND found = nullptr;
  } search{Window(form)};
  struct Visit {
    static BOOL CALLBACK Window(HWND w, LPARAM p) {
      auto* s = reinterpret_cast<Search*>(p);
      char cls[32];
      GetClassNameA(w, cls, sizeof cls);
      if (lstrcmpiA(cls, TOOLTIPS_CLASSA) == 0 && GetWindow(w, GW_OWNER) == s->owner) s->found = w;
      return TRUE;
    }
  };
  EnumThreadWindows(GetCurrentThreadId(), Visit::Window, reinterpret_cast<LPARAM>(&search));
  ASSERT_NE(search.found, nullptr);
  EXPECT_EQ(SendMessageA(search.found, TTM_GETTOOLCOUNT, 0, 0), 2);
  char text[64] = {};
  TTTOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = Window(form);
  tool.uId = reinterpret_cast<UINT_PTR>(Control(kGo));
  tool.lpszText = text;
  SendMessageA(search.found, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, "Kreni odmah");
}

// ------------------------------------------------------------------- input

TEST_F(RuntimeTest, ButtonsClickAndTextBoxesReportChanges) {
  runtime.Show(form);
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);
  EXPECT_EQ(form.clicks, std::vector{kGo});
  runtime.SetText(form, kBox, "12:00:00");
  EXPECT_EQ(form.changes, std::vector{kBox});
  runtime.SetText(form, kBox, "12:00:00");  // no change, no event
  EXPECT_EQ(form.changes.size(), 1u);
  EXPECT_EQ(runtime.Text(form, kBox), "12:00:00");
}

TEST_F(RuntimeTest, AltAccessKeysPressButtonsAndPlainLettersDoNot) {
  runtime.Show(form);
  Pump(20ms);
  PostMessageA(GetFocus(), WM_CHAR, 'k', 0);
  Pump(50ms);
  EXPECT_TRUE(form.clicks.empty());
  PostMessageA(GetFocus(), WM_SYSCHAR, 'k', 1 << 29);
  PumpUntil([&] { return !form.clicks.empty(); });
  EXPECT_EQ(form.clicks, std::vector{kGo});
}

TEST_F(RuntimeTest, EnterAndSpacePressTheFocusedButton) {
  runtime.Show(form);
  Pump(20ms);
  ASSERT_EQ(GetFocus(), Control(kExit));
  PostMessageA(Control(kExit), WM_KEYDOWN, VK_RETURN, 0);
  PumpUntil([&] { return form.clicks.size() == 1; });
  PostMessageA(Control(kExit), WM_KEYDOWN, VK_SPACE, 0);
  PostMessageA(Control(kExit), WM_KEYUP, VK_SPACE, 0xC0000001);
  PumpUntil([&] { return form.clicks.size() == 2; });
  EXPECT_EQ(form.clicks, (std::vector{kExit, kExit}));
}

TEST_F(RuntimeTest, PressesOnTheBareSurfaceReachFormMouseDownInTwips) {
  runtime.Show(form);
  SendMessageA(Window(form), WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT | MK_CONTROL,
               MAKELPARAM(10, 20));
  SendMessageA(Window(form), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  EXPECT_EQ(SendMessageA(Window(form), WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), MAKELPARAM(5, 6)),
            TRUE);
  ASSERT_EQ(form.presses.size(), 3u);
  EXPECT_EQ(form.presses[0].button, 2);
  EXPECT_EQ(form.presses[0].shift, 3);
  EXPECT_FLOAT_EQ(form.presses[0].x, 10 * runtime.TwipsPerPixelX());
  EXPECT_FLOAT_EQ(form.presses[0].y, 20 * runtime.TwipsPerPixelY());
  EXPECT_EQ(form.presses[1].button, 1);
  EXPECT_EQ(form.presses[1].shift, 0);
  EXPECT_EQ(form.presses[2].button, 4);
}

// -------------------------------------------------------------- life cycle

TEST_F(RuntimeTest, ShowLoadsOnceAndRunsFormLoadBeforeTheWindowIsSeen) {
  runtime.Show(form);
  EXPECT_EQ(form.loads, 1);
  EXPECT_FALSE(form.visibleWhileLoading);
  EXPECT_TRUE(IsWindowVisible(Window(form)));
  runtime.Hide(form);
  EXPECT_FALSE(IsWindowVisible(Window(form)));
  runtime.Show(form);
  EXPECT_EQ(form.loads, 1);
  EXPECT_TRUE(IsWindowVisible(Window(form)));
}

TEST_F(RuntimeTest, ClosingRunsFormUnloadWhichMayKeepTheWindow) {
  runtime.Show(form);
  runtime.Show(framed);
  framed.cancelUnload = 1;
  SendMessageA(Window(framed), WM_CLOSE, 0, 0);
  EXPECT_EQ(framed.unloads, 1);
  EXPECT_NE(Window(framed), nullptr);
  framed.cancelUnload = 0;
  SendMessageA(Window(framed), WM_CLOSE, 0, 0);
  EXPECT_EQ(framed.unloads, 2);
  EXPECT_EQ(Window(framed), nullptr);
  EXPECT_FALSE(runtime.Ended());
  runtime.Show(framed);  // loads anew
  EXPECT_EQ(framed.loads, 2);
}

TEST_F(RuntimeTest, TheProgramEndsWhenNoWindowIsLeftToTheUser) {
  runtime.Show(form);
  runtime.Show(framed);
  SendMessageA(Window(form), WM_CLOSE, 0, 0);
  EXPECT_FALSE(runtime.Ended());  // the framed window still shows
  runtime.Show(form);
  runtime.Hide(framed);
  SendMessageA(Window(form), WM_CLOSE, 0, 0);
  // Only a hidden window is left, which nothing could bring back.
  EXPECT_TRUE(runtime.Ended());
  EXPECT_EQ(runtime.Run(), 0);  // returns: the loop was told to end
  EXPECT_EQ(endings, 1);
}

TEST_F(RuntimeTest, EndHidesEverythingAtOnceWithoutFormUnload) {
  form.onClick = [&](int) { runtime.End(); };
  runtime.Show(form);
  runtime.Show(framed);
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);
  EXPECT_TRUE(runtime.Ended());
  EXPECT_FALSE(IsWindowVisible(Window(form)));
  EXPECT_FALSE(IsWindowVisible(Window(framed)));
  // The wait before the end (for hang-ups) is not run inside the click,
  // with the windows still there, but after the loop, once they are gone.
  EXPECT_EQ(endings, 0);
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);  // too late: no handler runs
  EXPECT_EQ(form.clicks.size(), 1u);
  EXPECT_EQ(runtime.Run(), 0);
  EXPECT_EQ(form.unloads + framed.unloads, 0);
  EXPECT_EQ(endings, 1);
  EXPECT_FALSE(windowsAtEnding);
}

// ------------------------------------------------------------------ timers

TEST_F(RuntimeTest, ATimerAnsweringMinusOneStopsAndTheOthersAreNotHeldBack) {
  form.delays[kFast] = [](int ticks) { return ticks >= 3 ? -1 : 1; };
  runtime.Show(form);
  // The slow timer is due 300 ms after the start, however busy the fast one.
  PumpUntil([&] { return form.ticks[kSlow] >= 1; });
  EXPECT_EQ(form.ticks[kFast], 3);
}

TEST_F(RuntimeTest, TimersKeepTickingWhileAModalLoopOfTheSystemRuns) {
  runtime.Show(form);
  HWND w = Window(form);
  // What the system's move loop does: it dispatches, it does not return.
  auto modalLoop = [](std::chrono::milliseconds time) {
    const UINT_PTR end = SetTimer(nullptr, 0, static_cast<UINT>(time.count()), nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
      if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == end) break;
      DispatchMessageA(&msg);
    }
    KillTimer(nullptr, end);
  };
  SendMessageA(w, WM_ENTERSIZEMOVE, 0, 0);
  const int before = form.ticks[kFast];
  modalLoop(300ms);
  EXPECT_GE(form.ticks[kFast] - before, 5);
  SendMessageA(w, WM_EXITSIZEMOVE, 0, 0);
  // Out of the modal loop the stand-in timer stops: only our own loop ticks.
  const int after = form.ticks[kFast];
  modalLoop(100ms);
  EXPECT_EQ(form.ticks[kFast], after);
}

TEST_F(RuntimeTest, AOneMillisecondTimerTicksOverAndOverUntilTheEnd) {
  runtime.Show(form);
  PumpUntil([&] { return form.ticks[kFast] >= 20; });
  runtime.End();
  const int ticks = form.ticks[kFast];
  runtime.Run();
  EXPECT_EQ(form.ticks[kFast], ticks);
}

// ------------------------------------------------- the program's windows

class Address : public platform::AddressSource {
 public:
  std::string LocalIP() override { return "192.0.2.7"; }
};

class ProgramWindows : public ::testing::Test {
 protected:
  win32::Runtime runtime{GetModuleHandleA(nullptr)};
  win32::WindowSystem windowSystem;
  Address address;
  main_window::ShapedForm main{runtime, windowSystem, address};
  using Main = main_window::ShapedForm;
};

TEST_F(ProgramWindows, TheMainWindowIsItsEllipseWithTheFocusOnExit) {
  runtime.Show(main);
  HWND w = runtime.LoadedWindow(main);
  const auto c = main_window::ComputeEllipseCorners(1, 1, 0, 0, runtime.TwipsPerPixelX(),
                                                    runtime.TwipsPerPixelY());
  HRGN expected = CreateEllipticRgn(c.x1, c.y1, c.x2, c.y2);
  HRGN actual = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(w, actual), ERROR);
  EXPECT_TRUE(SameArea(actual, expected));
  DeleteObject(expected);
  DeleteObject(actual);
  runtime.RunUntil([] { return false; }, 30ms);
  EXPECT_EQ(GetFocus(), runtime.ControlWindow(main, Main::Command2));
  EXPECT_EQ(runtime.Text(main, Main::Command2), "I&zlaz!");
}

TEST_F(ProgramWindows, AltOOpensTheAboutWindowWhoseOkHidesIt) {
  runtime.Show(main);
  runtime.RunUntil([] { return false; }, 20ms);
  PostMessageA(GetFocus(), WM_SYSCHAR, 'o', 1 << 29);
  auto& about = main.AboutWindow();
  ASSERT_TRUE(runtime.RunUntil([&] { return runtime.LoadedWindow(about) != nullptr; }, 3s));
  HWND ok = runtime.ControlWindow(about, about::Form1::Command1);
  EXPECT_TRUE(runtime.RunUntil([&] { return GetFocus() == ok; }, 3s));
  PostMessageA(ok, WM_KEYDOWN, VK_SPACE, 0);
  PostMessageA(ok, WM_KEYUP, VK_SPACE, 0xC0000001);
  EXPECT_TRUE(runtime.RunUntil([&] { return !IsWindowVisible(runtime.LoadedWindow(about)); }, 3s));
  EXPECT_TRUE(IsWindowVisible(runtime.LoadedWindow(main)));
}

}  // namespace
