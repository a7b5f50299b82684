// The Win32 backend under Wine. Without a window: fonts, the forms' timers as due times, the
// wait for hang-ups as the program ends, the address as Winsock reads it, and the hang-up routine
// against the faults of the test rasapi32.dll, which sits beside this program. With real windows,
// on a test form: what the end-to-end cases cannot see (styles, fonts, tool tips, unused keys and
// buttons, life cycle, timers); and the main window on a moved time of day, on a step of the
// clock, a resume or new regional settings.
#include <windows.h>
// The common controls' header builds on <windows.h>.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <numeric>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "dialup/module1.h"
#include "main_window/shaped_form.h"
#include "platform/ras.h"
#include "platform/runtime_rules.h"
#include "platform/win32/fonts.h"
#include "platform/win32/form_timers.h"
#include "platform/win32/hangup_wait.h"
#include "platform/win32/win32_address.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_window_system.h"
#include "schedule/clock.h"

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

const win32::Clock::time_point t0 = win32::Clock::time_point() + std::chrono::hours(1);

int CALLBACK TakeFirst(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM face) {
  *reinterpret_cast<std::string*>(face) = font->lfFaceName;
  return 0;
}

TEST(Fonts, InstalledFacesByNameMissingOnesByStandInOrFamilyAndHeightsAtTheDpi) {
  const struct {
    const char* design;
    std::set<std::string, std::less<>> installed;
    const char* face;
    int family;  // when it matters: no face is installed
  } faces[] = {
      {"MS Sans Serif", {"MS Sans Serif"}, "MS Sans Serif", -1},
      {"TimesRomanBold", {"Times New Roman"}, "Times New Roman", FF_ROMAN},
      {"TimesRomanBold", {"Arial"}, "", FF_ROMAN},
      {"MS Sans Serif", {"Microsoft Sans Serif"}, "Microsoft Sans Serif", FF_SWISS},
      {"Comic Sans MS", {}, "Comic Sans MS", -1},  // left to the font mapper
  };
  for (const auto& f : faces) {
    const auto chosen =
        win32::ChooseFace(f.design, [&](std::string_view face) { return f.installed.count(face); });
    EXPECT_EQ(chosen.face, f.face) << f.design;
    EXPECT_EQ(f.family < 0 ? -1 : chosen.pitchAndFamily & 0xF0, f.family) << f.design;
  }
  const struct {
    double points;
    int dpi, height;
  } heights[] = {{8, 96, -11}, {13.5, 120, -23}};  // 10.67 rounds to 11, 22.5 away from zero
  for (const auto& h : heights) EXPECT_EQ(win32::FontHeight(h.points, h.dpi), h.height) << h.points;
  // Any face the system lists is installed; no such face is not.
  LOGFONTA all = {};
  all.lfCharSet = DEFAULT_CHARSET;
  std::string listed;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &all, TakeFirst, reinterpret_cast<LPARAM>(&listed), 0);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(!listed.empty() && win32::FontInstalled(listed)) << listed;
  EXPECT_FALSE(win32::FontInstalled("No Such Face Prekidnik"));
}

TEST(FormTimers, RemainingTimeRoundsUpTheLoopWaitsForTheEarliestActiveAndTheLongestDueRuns) {
  win32::FormTimers timers;
  timers.Add(1);
  timers.Add(2);
  win32::Clock::time_point due;
  EXPECT_FALSE(timers.NextDue(due));
  timers.Start(1, 30, t0);
  timers.Start(2, 20, t0);
  timers.Stop(2);
  EXPECT_EQ(timers.RemainingMs(2, t0), 0);
  ASSERT_TRUE(timers.NextDue(due));
  EXPECT_EQ(due, t0 + milliseconds(30));
  const struct {
    int at;  // microseconds
    int remaining;
    unsigned wait, cap;  // the loop's wait, at most `cap`
  } cases[] = {{0, 30, 25, 25},
               {29001, 1, 1, 1000},  // 0.999 ms left: 1, not 0
               {50000, 0, 0, 1000}};
  for (const auto& c : cases) {
    EXPECT_EQ(timers.RemainingMs(1, t0 + microseconds(c.at)), c.remaining) << c.at;
    EXPECT_EQ(win32::WaitMilliseconds(due, t0 + microseconds(c.at), c.cap), c.wait) << c.at;
  }
  // The longest due runs first, then design order, and is taken off the clock.
  timers = win32::FormTimers();
  for (int id : {7, 1, 2, 3}) timers.Add(id);
  for (auto [id, ms] : {std::pair{1, 5}, {2, 1}, {3, 100}, {7, 5}}) timers.Start(id, ms, t0);
  for (int id : {2, 7, 1, -1}) EXPECT_EQ(timers.TakeDue(t0 + milliseconds(6)), id);
}

Module1::HRASCONN H(std::uintptr_t n) { return reinterpret_cast<Module1::HRASCONN>(n); }

TEST(HangUpRequests, CountEachConnectionOnceInTheOrderFirstAskedAndForgetTheOld) {
  win32::HangUpRequests requests;
  for (auto [n, ms] : {std::pair{1, 0}, {2, 1000}, {3, 2000}, {2, 2500}})
    requests.Add(H(n), t0 + milliseconds(ms));
  EXPECT_EQ(requests.Since(t0 + milliseconds(500)), (std::vector{H(2), H(3)}));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(1), H(2), H(3)}));
  requests.Forget(t0 + milliseconds(2200));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(2)}));
  // Add forgets what is older than anything the end of the program waits for.
  for (int ms = 0; ms < 1000; ++ms) requests.Add(H(4), t0 + milliseconds(9000 + ms));
  EXPECT_EQ(requests.Since(t0), (std::vector{H(4)}));
}

// Connections 1 and 2, gone at `gone1` and `gone2` ms, asked about on a clock only the waiting
// moves, until the deadline: what is left, when the wait ends, how often each was asked.
TEST(WaitUntilGone, EndsOnceAllAreGoneOrAtTheDeadlineAndOnlyInvalidHandleMeansGone) {
  constexpr int kPoll = win32::kHangUpPollInterval.count();
  const struct {
    int gone1, gone2;
    std::uint32_t stillThere;  // the status of one not gone yet
    std::vector<Module1::HRASCONN> left;
    int endsAt, asked1, asked2;
  } cases[] = {
      {100, 400, platform::kRasInvalidSize, {}, 400, 100 / kPoll + 1, 400 / kPoll + 1},
      {60000, 10, platform::kRasSuccess, {H(1)}, 2995, 2995 / kPoll + 2, 2},  // no poll more
  };
  for (const auto& c : cases) {
    auto now = t0;
    std::map<Module1::HRASCONN, int> asked;
    const auto status = [&](Module1::HRASCONN h) {
      ++asked[h];
      return now >= t0 + milliseconds(h == H(1) ? c.gone1 : c.gone2) ? platform::kRasInvalidHandle
                                                                     : c.stillThere;
    };
    EXPECT_EQ(
        win32::WaitUntilGone({H(1), H(2)}, t0 + milliseconds(2995),
                             {status, [&] { return now; }, [&](milliseconds ms) { now += ms; }}),
        c.left);
    EXPECT_EQ(std::vector({int((now - t0) / 1ms), asked[H(1)], asked[H(2)]}),
              std::vector({c.endsAt, c.asked1, c.asked2}));
  }
}

TEST(Address, TheFirstIPv4AnswerAndADottedAddressFromWinsock) {
  sockaddr_in6 v6 = {};
  v6.sin6_family = AF_INET6;
  sockaddr_in first = {}, second = {};
  first.sin_family = second.sin_family = AF_INET;
  first.sin_addr.s_addr = htonl(0x0A010203);   // 10.1.2.3
  second.sin_addr.s_addr = htonl(0xC0000201);  // 192.0.2.1
  addrinfo c = {0, AF_INET, 0, 0, sizeof second, nullptr, (sockaddr*)&second, nullptr};
  addrinfo b = {0, AF_INET, 0, 0, sizeof first, nullptr, (sockaddr*)&first, &c};
  addrinfo a = {0, AF_INET6, 0, 0, sizeof v6, nullptr, (sockaddr*)&v6, &b};
  EXPECT_EQ(std::vector({win32::FirstIPv4(&a), win32::FirstIPv4(&c), win32::FirstIPv4(nullptr)}),
            std::vector<std::string>({"10.1.2.3", "192.0.2.1", ""}));
  // A dotted address, as Winsock itself writes it.
  const std::string address = win32::WinsockAddress().LocalIP();
  in_addr parsed = {};
  parsed.s_addr = inet_addr(address.c_str());
  EXPECT_EQ(inet_ntoa(parsed), address);
}

// Connections 1 to n, and their handles.
std::string Many(int n) { return n ? Many(n - 1) + std::to_string(n) + ":v;" : ""; }
std::vector<unsigned long long> All(int n) {
  std::vector<unsigned long long> handles(n);
  std::iota(handles.begin(), handles.end(), 1);
  return handles;
}

TEST(RasFaults, TheRoutineActsOnlyOnASuccessfulListingAndReadsNoFurtherThanTheName) {
  const struct {
    std::string connections;                 // "handle:name;..."
    const char *enumResult, *hangUpResult;   // injected, or nullptr
    std::vector<unsigned long long> hungUp;  // asked for, in order
  } faults[] = {
      {"1:a;2:b", "603", nullptr, {}},  // buffer too small, records written anyway
      {"1:a;2:b", "668", nullptr, {}},  // no connection, records written anyway
      {"1:a", "4294967295", nullptr, {}},
      {Many(256), nullptr, nullptr, All(256)},
      {"1:a;2:b;3:c", nullptr, "5", {1, 2, 3}},  // refused: each is still asked
      {"8:" + std::string(256, 'n') + ";9:;10:" + std::string(257, 'f'), nullptr, nullptr, {8, 10}},
  };
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  const std::string log = temp + std::to_string(GetCurrentProcessId()) + "_ras_faults.log";
  SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_LOG", log.c_str());
  for (const auto& f : faults) {
    DeleteFileA(log.c_str());  // this row's calls only (or those of an earlier program of this id)
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_CONNECTIONS", f.connections.c_str());
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_ENUM_RESULT", f.enumResult);
    SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_HANGUP_RESULT", f.hangUpResult);
    Module1::HangUpConnections();
    std::ifstream in(log);
    ASSERT_TRUE(in.good()) << "the test rasapi32.dll was not loaded";
    std::vector<unsigned long long> hungUp;
    for (std::string line; std::getline(in, line);)
      if (auto at = line.find(" hangup "); at != std::string::npos)
        hungUp.push_back(std::stoull(line.substr(at + 8)));
    EXPECT_EQ(hungUp, f.hungUp) << "row " << &f - faults;
  }
}

// ------------------------------------------------------------ the runtime
using forms::ControlKind;
using Main = main_window::ShapedForm;

constexpr int kLabel = 1, kBox = 2, kGo = 3, kExit = 4, kFast = 5, kSlow = 6;
// clang-format off
constexpr forms::ControlDesign kControls[] = {
    {.id = kLabel, .name = "Label", .kind = ControlKind::Label, .caption = "Oznaka", .left = 150, .top = 150, .width = 1500, .height = 300, .alignment = forms::Alignment::Center, .font = {"MS Sans Serif", 700, 13.5}},
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

struct TestForm : forms::Form {
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
    if (endOnClick) runtime_.End();
  }
  void Change(int control) override { changes.push_back(control); }
  void Timer(int control) override { ++ticks[control]; }
  int TimerDelay(int timer) override {
    return timer == kFast && ticks[kFast] >= fastTicks ? -1 : forms::Form::TimerDelay(timer);
  }

  int loads = 0, unloads = 0, fastTicks = 1 << 30;
  bool cancelFirstUnload = false, visibleWhileLoading = true, endOnClick = false;
  std::vector<std::vector<float>> presses;  // button, shift, x, y
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

  win32::Runtime runtime{GetModuleHandleA(nullptr)};
  TestForm form{runtime, kPopup};
  TestForm framed{runtime, kFramed};
  const float tx = runtime.TwipsPerPixelX(), ty = runtime.TwipsPerPixelY();  // at the screen's dpi
  std::vector<bool> windowsAtEndings;  // whether a window was left, at each
};

TEST_F(RuntimeTest, WindowsAndControlsTakeTheDesignsStylesPlacesFontsAndToolTips) {
  runtime.Show(form);
  runtime.Show(framed);
  // Their frames, the popup's place and both sizes are the end-to-end cases'.
  EXPECT_EQ(GetWindowLongA(Window(framed), GWL_STYLE) &
                (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MAXIMIZEBOX | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(std::vector({GetClassLongPtrA(Window(form), GCLP_HBRBACKGROUND),
                         GetClassLongPtrA(Window(framed), GCLP_HBRBACKGROUND)}),
            std::vector<ULONG_PTR>({COLOR_ACTIVEBORDER + 1, COLOR_BTNFACE + 1}));
  const auto px = forms::TwipsToPixels;
  // Made in the tab order, the label (outside it) just before the box it names, as a screen
  // reader looks for it; no window for a timer.
  std::vector<HWND> children;
  for (HWND c = GetWindow(Window(form), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    children.push_back(c);
  EXPECT_EQ(children, (std::vector{Control(kExit), Control(kGo), Control(kLabel), Control(kBox)}));
  const char* classes[] = {"", "Static", "Edit", "Button", "Button"};
  for (const auto& c : std::span(kControls, 4)) {
    char cls[32];
    GetClassNameA(Control(c.id), cls, sizeof cls);
    RECT r;
    GetWindowRect(Control(c.id), &r);
    MapWindowPoints(nullptr, Window(form), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(
        std::vector({r.left, r.top, r.right - r.left, r.bottom - r.top}),
        std::vector<LONG>({px(c.left, tx), px(c.top, ty), px(c.width, tx), px(c.height, ty)}));
    EXPECT_STRCASEEQ(cls, classes[c.id]);
    EXPECT_EQ(runtime.Text(form, c.id), c.caption);
  }
  EXPECT_EQ(GetWindowLongA(Control(kLabel), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
  EXPECT_TRUE(GetWindowLongA(Control(kBox), GWL_STYLE) & ES_CENTER);
  // The design's font, or the dialog font when it names none, at the dpi; labels on the window's.
  LOGFONTA label = {}, button = {};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Control(kLabel), WM_GETFONT, 0, 0)), sizeof label,
             &label);
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Control(kGo), WM_GETFONT, 0, 0)), sizeof button,
             &button);
  const int dpi = static_cast<int>(std::lround(1440 / ty));
  EXPECT_EQ(label.lfFaceName, win32::ChooseFace("MS Sans Serif", win32::FontInstalled).face);
  EXPECT_EQ(button.lfFaceName, std::string("MS Shell Dlg"));
  EXPECT_EQ(std::vector({label.lfWeight, label.lfHeight, button.lfHeight}),
            std::vector<LONG>({700, win32::FontHeight(13.5, dpi), win32::FontHeight(8, dpi)}));
  HDC dc = GetDC(Control(kLabel));
  EXPECT_EQ(SendMessageA(Window(form), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(Control(kLabel))),
            reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_ACTIVEBORDER)));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_ACTIVEBORDER));
  ReleaseDC(Control(kLabel), dc);
  // Tool tips for the controls that have one.
  HWND tips = nullptr;
  do tips = FindWindowExA(nullptr, tips, TOOLTIPS_CLASSA, nullptr);
  while (tips && GetWindow(tips, GW_OWNER) != Window(form));
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

TEST_F(RuntimeTest, InputReachesTheHandlersAndATimerAnsweringMinusOneHoldsNoOtherBack) {
  form.fastTicks = 3;
  runtime.Show(form);
  // A plain letter is no access key; Enter presses the focused button, first that of tab index 0.
  PostMessageA(GetFocus(), WM_CHAR, 'k', 0);
  PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  runtime.RunUntil([&] { return !form.clicks.empty(); }, 3s);
  EXPECT_EQ(form.clicks, std::vector{kExit});
  // A text is set only when it differs (the clock sets its own 1000 times a second).
  runtime.SetText(form, kBox, "12:00:00");
  runtime.SetText(form, kBox, "12:00:00");
  EXPECT_EQ(form.changes, std::vector{kBox});
  // Presses on the bare surface, any button, in twips.
  SendMessageA(Window(form), WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT | MK_CONTROL,
               MAKELPARAM(10, 20));
  SendMessageA(Window(form), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  EXPECT_EQ(SendMessageA(Window(form), WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), MAKELPARAM(5, 6)),
            TRUE);
  EXPECT_EQ(form.presses,
            (std::vector<std::vector<float>>{
                {2, 3, 10 * tx, 20 * ty}, {1, 0, 3 * tx, 4 * ty}, {4, 0, 5 * tx, 6 * ty}}));
  ASSERT_TRUE(runtime.RunUntil([&] { return form.ticks[kSlow] >= 1; }, 3s));  // due at 300 ms
  EXPECT_EQ(form.ticks[kFast], 3);
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
  runtime.Show(framed);  // loads anew: the popup still shows, the program runs on
  EXPECT_EQ(framed.loads, 2);
  runtime.Hide(framed);
  SendMessageA(Window(form), WM_CLOSE, 0, 0);
  // Only a hidden window is left, which nothing could bring back.
  EXPECT_TRUE(runtime.Ended());
  EXPECT_EQ(runtime.Run(), 0);
}

TEST_F(RuntimeTest, EndHidesEverythingAtOnceAndWaitsOnlyOnceTheWindowsAreGone) {
  form.endOnClick = true;
  runtime.Show(form);
  runtime.Show(framed);
  ASSERT_TRUE(
      runtime.RunUntil([&] { return form.ticks[kFast] >= 20; }, 3s));  // 1 ms, over and over
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowVisible(Window(form)) || IsWindowVisible(Window(framed)));
  SendMessageA(Control(kGo), BM_CLICK, 0, 0);  // too late: no handler runs
  const int ticks = form.ticks[kFast];
  EXPECT_EQ(runtime.Run(), 0);
  EXPECT_EQ(std::vector({int(form.clicks.size()), form.unloads + framed.unloads,
                         form.ticks[kFast] - ticks}),
            std::vector({1, 0, 0}));
  EXPECT_EQ(windowsAtEndings, std::vector{false});
}

// --------------------------------------------------- changes of the time of day

constexpr std::int64_t kSecond = 1000, kHour = 3600 * kSecond, kDay = 24 * kHour,
                       kSlept = kDay + kHour + 2 * kSecond;

// A time of day that was `base` at `since` and runs on with the monotonic clock.
struct SteppedTime : win32::TimeSource {
  forms::TimeOfDay LocalTime() override {
    const std::int64_t ms = ((base + (Monotonic() - since) / 1ms) % kDay + kDay) % kDay;
    return {int(ms / kHour), int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms % 1000)};
  }
  std::string TimeSeparator() override { return separator; }
  win32::Clock::time_point Monotonic() override { return win32::Clock::now(); }
  std::int64_t base = 0;
  win32::Clock::time_point since;
  std::string separator = ":";
};

std::string Shown(const forms::TimeOfDay& t, const std::string& separator) {
  return schedule::FormatClockText(t.hour, t.minute, t.second, separator);
}

constexpr std::int64_t At(int s) { return 10 * kHour + s * kSecond + 100; }  // 10:00:s.100

// From `start`, `typed` in the box, time moves by `step` (the monotonic clock does not) and
// `message` comes: `shown` at once, within `within` ms of its second; a hang-up or not.
struct Change {
  const char *name, *typed, *separator, *shown;
  std::int64_t start, step;
  UINT message;
  WPARAM wParam;
  int within;
  bool hangUps;
};

void PrintTo(const Change& c, std::ostream* os) { *os << c.name; }

// Each change lands 100 ms into a second: untold, the clock would show it a second late.
// clang-format off
const Change kChanges[] = {
    {"ahead 0.3 s",               "",         ":", "10:00:01", At(0), 300,         WM_TIMECHANGE,     0,                      250,  false},
    // The typed second: a step into it matches, one over it skips it.
    {"back into it",              "10:00:05", ":", "10:00:05", At(6), -kSecond,    WM_TIMECHANGE,     0,                      1000, true},
    {"over it",                   "10:00:05", ":", "10:00:06", At(4), 2 * kSecond, WM_TIMECHANGE,     0,                      1000, false},
    // A sleep of more than a day that the monotonic clock did not count, either resume.
    {"resume, automatic",         "",         ":", "11:00:02", At(0), kSlept,      WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 1000, false},
    {"resume, by the user",       "",         ":", "11:00:02", At(0), kSlept,      WM_POWERBROADCAST, PBT_APMRESUMESUSPEND,   1000, false},
    // New regional settings: the separator follows at once.
    {"separator",                 "",         ".", "10.00.00", At(0), 0,           WM_SETTINGCHANGE,  0,                      1000, false},
};
// clang-format on

class TimeChange : public ::testing::TestWithParam<Change> {
 protected:
  SteppedTime time;
  win32::Runtime runtime{GetModuleHandleA(nullptr), &time};
  win32::WindowSystem windowSystem;
  win32::WinsockAddress address;
  Main main{runtime, windowSystem, address};
};

TEST_P(TimeChange, TheClockAndTheScheduleFollowAtOnce) {
  const Change& c = GetParam();
  time.base = c.start;
  time.since = time.Monotonic();
  static int changes = 0;  // a connection of the test rasapi32.dll, anew for each change
  const std::string modem = std::to_string(++changes) + ":Modem";
  SetEnvironmentVariableA("PREKIDNIK_FAKE_RAS_CONNECTIONS", modem.c_str());
  runtime.Show(main);
  SetWindowTextA(runtime.ControlWindow(main, Main::Text1), c.typed);
  const std::string first = Shown(time.LocalTime(), ":");
  ASSERT_TRUE(runtime.RunUntil([&] { return runtime.Text(main, Main::lblTime) == first; }, 3s));

  time.base += c.step;
  time.separator = c.separator;
  const win32::Clock::time_point changedAt = win32::Clock::now();
  // As Windows does: sent to every top-level window.
  SendMessageA(runtime.LoadedWindow(main), c.message, c.wParam,
               c.message == WM_SETTINGCHANGE ? reinterpret_cast<LPARAM>("intl") : 0);
  forms::TimeOfDay seen{};
  ASSERT_TRUE(runtime.RunUntil(
      [&] {
        seen = time.LocalTime();
        return runtime.Text(main, Main::lblTime) == c.shown;
      },
      3s))
      << "the clock shows " << runtime.Text(main, Main::lblTime);
  // Seen while that second lasts, early in it.
  EXPECT_EQ(Shown(seen, c.separator), c.shown);
  EXPECT_LT(seen.millisecond, c.within);
  runtime.RunUntil([] { return false; }, 50ms);
  EXPECT_EQ(win32::RecordedHangUps().Since(changedAt).size(), c.hangUps ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Steps, TimeChange, ::testing::ValuesIn(kChanges));

// The import the program's calls of GetLocalTime go through, and what it held.
#ifdef _WIN64
extern "C" decltype(&GetLocalTime) localTimeImport asm("__imp_GetLocalTime");
#else
extern "C" decltype(&GetLocalTime) localTimeImport asm("__imp__GetLocalTime@4");
#endif
decltype(&GetLocalTime) realLocalTime;

// The system's time of day after a step of an hour ahead.
void WINAPI HourAhead(SYSTEMTIME* time) {
  realLocalTime(time);
  time->wHour = (time->wHour + 1) % 24;
}

TEST(SystemTime, ReadsTheSystemsTimeOfDayAnewOnEachCall) {
  win32::SystemTime time;
  time.LocalTime();
  realLocalTime = localTimeImport;
  DWORD protection;
  VirtualProtect(&localTimeImport, sizeof realLocalTime, PAGE_READWRITE, &protection);
  localTimeImport = HourAhead;  // a step of the clock
  const int hour = time.LocalTime().hour;
  SYSTEMTIME ahead;
  HourAhead(&ahead);
  localTimeImport = realLocalTime;
  EXPECT_EQ(hour, ahead.wHour);
}

}  // namespace
