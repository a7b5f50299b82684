// The Win32 forms runtime with real windows on a test form: what the
// end-to-end cases cannot see of the program (styles, fonts, tool tips, keys
// and buttons it does not use, the life cycle, timers).
#include <windows.h>
// The common controls' header builds on <windows.h>.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "platform/runtime_rules.h"
#include "platform/win32/fonts.h"
#include "platform/win32/win32_runtime.h"

namespace {

using namespace std::chrono_literals;
using forms::ControlKind;

constexpr int kLabel = 1, kBox = 2, kGo = 3, kExit = 4, kFast = 5, kSlow = 6;
// clang-format off
constexpr forms::ControlDesign kControls[] = {
    {.id = kLabel, .name = "Label", .kind = ControlKind::Label, .caption = "Oznaka", .left = 150, .top = 150, .width = 1500, .height = 300, .tabIndex = 2, .alignment = forms::Alignment::Center, .font = {"MS Sans Serif", 700, 13.5}},
    {.id = kBox, .name = "Box", .kind = ControlKind::TextBox, .caption = "", .left = 150, .top = 600, .width = 1500, .height = 375, .tabIndex = 3, .alignment = forms::Alignment::Center, .toolTip = "Unesite"},
    {.id = kGo, .name = "Go", .kind = ControlKind::CommandButton, .caption = "&Kreni", .left = 150, .top = 1200, .width = 1245, .height = 525, .tabIndex = 1, .toolTip = "Kreni odmah"},
    {.id = kExit, .name = "Exit", .kind = ControlKind::CommandButton, .caption = "I&zlaz", .left = 1500, .top = 1200, .width = 1245, .height = 525, .tabIndex = 0},
    {.id = kFast, .name = "Fast", .kind = ControlKind::Timer, .caption = "", .height = 0, .interval = 1},
    {.id = kSlow, .name = "Slow", .kind = ControlKind::Timer, .caption = "", .height = 0, .interval = 300},
};
constexpr forms::ControlDesign kOk[] = {{.id = kExit, .name = "OK", .kind = ControlKind::CommandButton, .caption = "OK", .left = 120, .top = 120, .width = 1245, .height = 525}};
const forms::FormDesign kPopup = {.name = "TestPopup", .caption = "Proba", .borderStyle = forms::BorderStyle::None, .backColor = forms::kActiveBorderColor, .clientWidth = 3000, .clientHeight = 2250, .startUpPosition = forms::StartUpPosition::Manual, .left = 1500, .top = 1200, .controls = kControls};
const forms::FormDesign kFramed = {.name = "TestFramed", .caption = "Druga", .borderStyle = forms::BorderStyle::FixedSingle, .backColor = forms::kDefaultColor, .clientWidth = 3780, .clientHeight = 2820, .startUpPosition = forms::StartUpPosition::WindowsDefault, .controls = kOk};
// clang-format on

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
    presses.push_back({static_cast<float>(button), static_cast<float>(shift), x, y});
  }
  void Form_Unload(int& cancel) override { cancel = ++unloads == 1 && cancelFirstUnload; }
  void Click(int control) override {
    clicks.push_back(control);
    if (onClick) onClick();
  }
  void Change(int control) override { changes.push_back(control); }
  void Timer(int control) override { ++ticks[control]; }
  int TimerDelay(int timer) override {
    return timer == kFast && ticks[kFast] >= fastTicks ? -1 : forms::Form::TimerDelay(timer);
  }

  int loads = 0, unloads = 0, fastTicks = 1 << 30;
  bool cancelFirstUnload = false, visibleWhileLoading = true;
  std::vector<std::vector<float>> presses;  // button, shift, x, y
  std::vector<int> clicks, changes;
  std::map<int, int> ticks;
  std::function<void()> onClick;

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
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds t = 3s) {
    return runtime.RunUntil(done, t);
  }

  win32::Runtime runtime{GetModuleHandleA(nullptr)};
  TestForm form{runtime, kPopup};
  TestForm framed{runtime, kFramed};
  int endings = 0;
  bool windowsAtEnding = false;
};

// A control's or a window's client area, in pixels of `parent` (nullptr:
// the screen).
RECT Box(HWND w, HWND parent, bool client) {
  RECT r;
  client ? GetClientRect(w, &r) : GetWindowRect(w, &r);
  MapWindowPoints(client ? w : nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LOGFONTA FontOf(HWND control) {
  LOGFONTA f = {};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof f, &f);
  return f;
}

TEST_F(RuntimeTest, WindowsAndControlsAreTheDesignsInScreenPixels) {
  runtime.Show(form);
  runtime.Show(framed);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const float tx = runtime.TwipsPerPixelX(), ty = runtime.TwipsPerPixelY();
  EXPECT_FLOAT_EQ(ty, 1440.0f / dpi);
  const auto pixels = [&](int l, int t, int w, int h) {
    const int left = forms::TwipsToPixels(l, tx), top = forms::TwipsToPixels(t, ty);
    return std::vector{left, top, left + forms::TwipsToPixels(w, tx),
                       top + forms::TwipsToPixels(h, ty)};
  };
  const auto seen = [](RECT r) { return std::vector<int>{r.left, r.top, r.right, r.bottom}; };
  EXPECT_EQ(seen(Box(Window(form), nullptr, true)), pixels(1500, 1200, 3000, 2250));
  EXPECT_EQ(seen(Box(Window(framed), Window(framed), true)), pixels(0, 0, 3780, 2820));
  const struct {
    HWND w;
    DWORD on, off;
    int brush;
  } windows[] = {
      {Window(form), WS_POPUP, WS_CAPTION | WS_THICKFRAME | WS_BORDER, COLOR_ACTIVEBORDER},
      {Window(framed), WS_CAPTION | WS_SYSMENU, WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX,
       COLOR_BTNFACE}};
  for (const auto& w : windows) {
    EXPECT_EQ(GetWindowLongA(w.w, GWL_STYLE) & (w.on | w.off), w.on);
    EXPECT_EQ(GetClassLongPtrA(w.w, GCLP_HBRBACKGROUND), w.brush + 1);
  }
  const char* classes[] = {"", "Static", "Edit", "Button", "Button"};
  for (const auto& c : kControls) {
    if (c.kind == ControlKind::Timer) continue;
    char cls[32];
    GetClassNameA(Control(c.id), cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, classes[c.id]);
    EXPECT_EQ(seen(Box(Control(c.id), Window(form), false)),
              pixels(c.left, c.top, c.width, c.height))
        << c.name;
    EXPECT_EQ(runtime.Text(form, c.id), c.caption);
  }
  EXPECT_EQ(GetWindowLongA(Control(kLabel), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
  EXPECT_TRUE(GetWindowLongA(Control(kBox), GWL_STYLE) & ES_CENTER);
  // The design's font, or the dialog font when it names none, at the dpi.
  const LOGFONTA label = FontOf(Control(kLabel)), button = FontOf(Control(kGo));
  EXPECT_EQ(std::string(label.lfFaceName),
            win32::ChooseFace("MS Sans Serif", win32::FontInstalled).face);
  EXPECT_EQ(std::vector({label.lfWeight, label.lfHeight, button.lfHeight}),
            std::vector<LONG>({700, win32::FontHeight(13.5, dpi), win32::FontHeight(8, dpi)}));
  EXPECT_STREQ(button.lfFaceName, "MS Shell Dlg");
  // Labels on the window's colour.
  HDC dc = GetDC(Control(kLabel));
  EXPECT_EQ(SendMessageA(Window(form), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(Control(kLabel))),
            reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_ACTIVEBORDER)));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_ACTIVEBORDER));
  ReleaseDC(Control(kLabel), dc);
}

TEST_F(RuntimeTest, ToolTipsAreRegisteredForTheControlsThatHaveThem) {
  runtime.Show(form);
  HWND tips = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr);
  while (tips && GetWindow(tips, GW_OWNER) != Window(form))
    tips = FindWindowExA(nullptr, tips, TOOLTIPS_CLASSA, nullptr);
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 2);
  char text[64] = {};
  TTTOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = Window(form);
  tool.uId = reinterpret_cast<UINT_PTR>(Control(kGo));
  tool.lpszText = text;
  SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, "Kreni odmah");
}

TEST_F(RuntimeTest, KeysPressButtonsAndTabFollowsTabIndex) {
  runtime.Show(form);
  runtime.RunUntil([] { return false; }, 20ms);
  ASSERT_EQ(GetFocus(), Control(kExit));
  // A plain letter is no access key; Alt and a letter, Enter and Space are.
  const struct {
    UINT message;
    WPARAM key;
    UINT flags;
    std::vector<int> clicks;
  } keys[] = {{WM_CHAR, 'k', 0, {}},
              {WM_SYSCHAR, 'k', 1 << 29, {kGo}},
              {WM_KEYDOWN, VK_RETURN, 0, {kGo, kExit}},
              {WM_KEYUP, VK_SPACE, 0xC0000001, {kGo, kExit, kExit}}};
  for (const auto& k : keys) {
    SetFocus(Control(kExit));
    if (k.key == VK_SPACE) PostMessageA(GetFocus(), WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(GetFocus(), k.message, k.key, k.flags);
    PumpUntil([&] { return !k.clicks.empty() && form.clicks.size() >= k.clicks.size(); },
              k.clicks.empty() ? 100ms : 3s);
    EXPECT_EQ(form.clicks, k.clicks) << k.message;
  }
  SetFocus(Control(kExit));
  std::vector<HWND> visited;
  for (HWND at = GetFocus(); visited.size() < 3;)
    visited.push_back(at = GetNextDlgTabItem(Window(form), at, FALSE));
  EXPECT_EQ(visited, (std::vector{Control(kGo), Control(kBox), Control(kExit)}));
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == Control(kGo); }));
  runtime.SetText(form, kBox, "12:00:00");
  runtime.SetText(form, kBox, "12:00:00");  // no change, no event
  EXPECT_EQ(form.changes, std::vector{kBox});
}

TEST_F(RuntimeTest, PressesOnTheBareSurfaceReachFormMouseDownInTwips) {
  runtime.Show(form);
  const float tx = runtime.TwipsPerPixelX(), ty = runtime.TwipsPerPixelY();
  SendMessageA(Window(form), WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT | MK_CONTROL,
               MAKELPARAM(10, 20));
  SendMessageA(Window(form), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  EXPECT_EQ(SendMessageA(Window(form), WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), MAKELPARAM(5, 6)),
            TRUE);
  EXPECT_EQ(form.presses,
            (std::vector<std::vector<float>>{
                {2, 3, 10 * tx, 20 * ty}, {1, 0, 3 * tx, 4 * ty}, {4, 0, 5 * tx, 6 * ty}}));
}

TEST_F(RuntimeTest, FormUnloadMayKeepAWindowAndTheProgramEndsWithTheLastShown) {
  runtime.Show(form);
  EXPECT_FALSE(form.visibleWhileLoading);  // Form_Load runs before the window shows
  runtime.Hide(form);
  runtime.Show(form);
  EXPECT_EQ(form.loads, 1);
  runtime.Show(framed);
  framed.cancelFirstUnload = true;
  SendMessageA(Window(framed), WM_CLOSE, 0, 0);
  EXPECT_NE(Window(framed), nullptr);
  SendMessageA(Window(framed), WM_CLOSE, 0, 0);
  EXPECT_EQ(Window(framed), nullptr);
  EXPECT_FALSE(runtime.Ended());  // the popup still shows
  runtime.Show(framed);           // loads anew
  EXPECT_EQ(framed.loads, 2);
  runtime.Hide(framed);
  SendMessageA(Window(form), WM_CLOSE, 0, 0);
  // Only a hidden window is left, which nothing could bring back.
  EXPECT_TRUE(runtime.Ended());
  EXPECT_EQ(runtime.Run(), 0);
  EXPECT_EQ(endings, 1);
}

TEST_F(RuntimeTest, EndHidesEverythingAtOnceAndWaitsOnlyOnceTheWindowsAreGone) {
  form.onClick = [&] { runtime.End(); };
  runtime.Show(form);
  runtime.Show(framed);
  ASSERT_TRUE(PumpUntil([&] { return form.ticks[kFast] >= 20; }));  // 1 ms, over and over
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowVisible(Window(form)) || IsWindowVisible(Window(framed)));
  EXPECT_EQ(endings, 0);
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);  // too late: no handler runs
  const int ticks = form.ticks[kFast];
  EXPECT_EQ(runtime.Run(), 0);
  EXPECT_EQ(form.clicks.size(), 1u);
  EXPECT_EQ(form.unloads + framed.unloads, 0);
  EXPECT_EQ(endings, 1);
  EXPECT_FALSE(windowsAtEnding);
  EXPECT_EQ(form.ticks[kFast], ticks);
}

TEST_F(RuntimeTest, ATimerAnsweringMinusOneStopsAndModalLoopsOfTheSystemKeepTimersTicking) {
  form.fastTicks = 3;
  runtime.Show(form);
  // The slow timer is due 300 ms after the start, however busy the fast one.
  ASSERT_TRUE(PumpUntil([&] { return form.ticks[kSlow] >= 1; }));
  EXPECT_EQ(form.ticks[kFast], 3);
  // What the system's move loop does: it dispatches, it does not return.
  const auto modalLoop = [](UINT ms) {
    const UINT_PTR end = SetTimer(nullptr, 0, ms, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) && !(msg.hwnd == nullptr && msg.wParam == end))
      DispatchMessageA(&msg);
    KillTimer(nullptr, end);
  };
  SendMessageA(Window(form), WM_ENTERSIZEMOVE, 0, 0);
  modalLoop(800);
  EXPECT_GE(form.ticks[kSlow], 3);
  SendMessageA(Window(form), WM_EXITSIZEMOVE, 0, 0);
  const int after = form.ticks[kSlow];
  modalLoop(700);  // out of it, only the runtime's own loop ticks
  EXPECT_EQ(form.ticks[kSlow], after);
}

}  // namespace
