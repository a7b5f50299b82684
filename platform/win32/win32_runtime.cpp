#include "platform/win32/win32_runtime.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/label_text.h"
#include "platform/timer_rule.h"
#include "platform/win32/fonts.h"

namespace win32 {

namespace {

// Runs the forms' timers while a modal loop of the system (moving a window,
// a menu) holds the thread; those loops deliver WM_TIMER but return to
// nobody's own loop until they end.
constexpr UINT_PTR kModalTimerId = 1;
// The icon group of the program's resources.
constexpr int kApplicationIcon = 1;
// The system timer ticks every 15.6 ms unless a program raises its rate,
// which costs the whole system power (every program's, before Windows 10
// 2004). A wait that ends at a timer due within this lead runs at 1 ms; a
// longer one wakes this much early at the default rate, then waits the rest
// precisely. So the rate is raised around each turn of the clock's second
// and all through a matching second, when a timer is due every millisecond.
constexpr auto kPreciseLead = std::chrono::milliseconds(25);

}  // namespace

// ------------------------------------------------------------ design -> Win32

int TwipsToPixels(int twips, float twipsPerPixel) {
  return static_cast<int>(std::lround(twips / static_cast<double>(twipsPerPixel)));
}

WindowStyles FormStyles(forms::BorderStyle border) {
  if (border == forms::BorderStyle::None) {
    // No frame and no title bar; the system menu and minimize box only let
    // the taskbar button minimize and restore it.
    return {WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_APPWINDOW};
  }
  // Caption and a single fixed frame, a close button only.
  return {WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0};
}

WindowStyles ControlStyles(const forms::ControlDesign& c) {
  const bool center = c.alignment == forms::Alignment::Center;
  const DWORD tabStop = c.tabIndex >= 0 ? WS_TABSTOP : 0;
  switch (c.kind) {
    case forms::ControlKind::Label: {
      // SS_NOTIFY: the label keeps its own mouse presses instead of letting
      // them through to the window beneath.
      const DWORD align = center ? SS_CENTER : c.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
      return {WS_CHILD | WS_VISIBLE | SS_NOTIFY | align, 0};
    }
    case forms::ControlKind::TextBox:
      return {WS_CHILD | WS_VISIBLE | tabStop | ES_AUTOHSCROLL |
                  static_cast<DWORD>(center ? ES_CENTER : ES_LEFT),
              WS_EX_CLIENTEDGE};
    case forms::ControlKind::CommandButton:
      return {WS_CHILD | WS_VISIBLE | tabStop | BS_PUSHBUTTON, 0};
    case forms::ControlKind::Timer:
    case forms::ControlKind::Winsock:
      break;
  }
  return {0, 0};
}

const char* ControlClass(forms::ControlKind kind) {
  switch (kind) {
    case forms::ControlKind::Label:
      return "STATIC";
    case forms::ControlKind::TextBox:
      return "EDIT";
    case forms::ControlKind::CommandButton:
      return "BUTTON";
    case forms::ControlKind::Timer:
    case forms::ControlKind::Winsock:
      break;
  }
  return nullptr;
}

std::vector<const forms::ControlDesign*> CreationOrder(
    std::span<const forms::ControlDesign> controls) {
  std::vector<const forms::ControlDesign*> order;
  for (const auto& c : controls)
    if (ControlClass(c.kind)) order.push_back(&c);
  std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
    const unsigned ka = static_cast<unsigned>(a->tabIndex);  // -1 sorts last
    const unsigned kb = static_cast<unsigned>(b->tabIndex);
    return ka < kb;
  });
  return order;
}

int SystemColorIndex(forms::Color color) {
  if (color == forms::kDefaultColor) return COLOR_BTNFACE;
  if (color & 0x80000000u) return static_cast<int>(color & 0xFF);
  return -1;
}

// ------------------------------------------------------------------ windows

struct Runtime::FormWindow {
  struct Control {
    int id;
    forms::ControlKind kind;
    HWND window;
    HFONT font;
  };

  FormWindow(Runtime& r, forms::Form& f) : runtime(r), form(f) {}

  const Control* FindControl(int id) const {
    for (const auto& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }

  Runtime& runtime;
  forms::Form& form;
  HWND window = nullptr;
  HWND toolTip = nullptr;
  std::vector<Control> controls;
  FormTimers timers;
  HWND focus = nullptr;  // the control that gets the focus back on activation
  COLORREF backColor = 0;
  HBRUSH backBrush = nullptr;  // not owned
};

forms::TimeOfDay SystemTime::LocalTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::string SystemTime::TimeSeparator() {
  char separator[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator) > 1)
    return separator;
  return ":";
}

Runtime::Runtime(HINSTANCE instance, TimeSource* time)
    : instance_(instance), time_(time ? time : &systemTime_) {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);

  HDC screen = GetDC(nullptr);
  const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (dpiX > 0) twipsPerPixelX_ = 1440.0f / static_cast<float>(dpiX);
  if (dpiY > 0) {
    twipsPerPixelY_ = 1440.0f / static_cast<float>(dpiY);
    pixelsPerInchY_ = dpiY;
  }

  separator_ = time_->TimeSeparator();
}

Runtime::~Runtime() {
  ending_ = true;
  DestroyAll();
  for (const auto& [design, className] : classes_) UnregisterClassA(className.c_str(), instance_);
  for (HBRUSH brush : classBrushes_) DeleteObject(brush);
  PreciseTimer(false);
}

Runtime::FormWindow* Runtime::Find(const forms::Form& form) const {
  for (const auto& w : windows_)
    if (&w->form == &form) return w.get();
  return nullptr;
}

Runtime::FormWindow* Runtime::ByHandle(HWND window) const {
  for (const auto& w : windows_)
    if (w->window == window) return w.get();
  return nullptr;
}

Runtime::FormWindow* Runtime::Require(forms::Form& form) {
  if (FormWindow* w = Find(form)) return w;
  // Any call on a form that is not loaded loads it first, as Show does
  // (unless the program is ending).
  Show(form);
  return Find(form);
}

HWND Runtime::LoadedWindow(const forms::Form& form) const {
  const FormWindow* w = Find(form);
  return w ? w->window : nullptr;
}

HWND Runtime::ControlWindow(const forms::Form& form, int control) const {
  const FormWindow* w = Find(form);
  const FormWindow::Control* c = w ? w->FindControl(control) : nullptr;
  return c ? c->window : nullptr;
}

const char* Runtime::RegisterFormClass(const forms::FormDesign& design) {
  if (auto it = classes_.find(design.name); it != classes_.end()) return it->second.c_str();
  std::string className = "Prekidnik." + std::string(design.name);

  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(kApplicationIcon),
                                           IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                           GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(kApplicationIcon),
                                             IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  const int index = SystemColorIndex(design.backColor);
  if (index >= 0) {
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(index + 1));
  } else {
    wc.hbrBackground = CreateSolidBrush(design.backColor & 0xFFFFFF);
    classBrushes_.push_back(wc.hbrBackground);
  }
  wc.lpszClassName = className.c_str();
  RegisterClassExA(&wc);
  return classes_.emplace(std::string(design.name), std::move(className)).first->second.c_str();
}

Runtime::FormWindow* Runtime::Load(forms::Form& form) {
  const forms::FormDesign& d = form.Design();
  auto owned = std::make_unique<FormWindow>(*this, form);
  FormWindow& w = *owned;
  const int index = SystemColorIndex(d.backColor);
  if (index >= 0) {
    w.backColor = GetSysColor(index);
    w.backBrush = GetSysColorBrush(index);
  } else {
    w.backColor = d.backColor & 0xFFFFFF;
  }

  const char* className = RegisterFormClass(d);
  const WindowStyles s = FormStyles(d.borderStyle);
  RECT r = {0, 0, TwipsToPixels(d.clientWidth, twipsPerPixelX_),
            TwipsToPixels(d.clientHeight, twipsPerPixelY_)};
  AdjustWindowRectEx(&r, s.style, FALSE, s.exStyle);
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (d.startUpPosition == forms::StartUpPosition::Manual) {
    x = TwipsToPixels(d.left, twipsPerPixelX_);
    y = TwipsToPixels(d.top, twipsPerPixelY_);
  }
  windows_.push_back(std::move(owned));
  const std::string caption(d.caption);
  CreateWindowExA(s.exStyle, className, caption.c_str(), s.style, x, y, r.right - r.left,
                  r.bottom - r.top, nullptr, nullptr, instance_, &w);
  if (!w.window) {
    windows_.pop_back();
    return nullptr;
  }
  if (index < 0)
    w.backBrush = reinterpret_cast<HBRUSH>(GetClassLongPtrA(w.window, GCLP_HBRBACKGROUND));
  BuildControls(w);
  return &w;
}

void Runtime::BuildControls(FormWindow& w) {
  const forms::FormDesign& d = w.form.Design();
  for (const auto& c : d.controls)
    if (c.kind == forms::ControlKind::Timer) w.timers.Add(c.id);

  for (const forms::ControlDesign* c : CreationOrder(d.controls)) {
    const WindowStyles s = ControlStyles(*c);
    const std::string caption = c->kind == forms::ControlKind::Label
                                    ? forms::ShownCaption(c->caption, c->wordWrap, "\r\n")
                                    : std::string(c->caption);
    HWND control = CreateWindowExA(
        s.exStyle, ControlClass(c->kind), caption.c_str(), s.style,
        TwipsToPixels(c->left, twipsPerPixelX_), TwipsToPixels(c->top, twipsPerPixelY_),
        TwipsToPixels(c->width, twipsPerPixelX_), TwipsToPixels(c->height, twipsPerPixelY_),
        w.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + c->id)), instance_,
        nullptr);
    if (!control) continue;
    HFONT font = CreateDesignFont(c->font, pixelsPerInchY_);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    w.controls.push_back({c->id, c->kind, control, font});
    if (!w.focus && (s.style & WS_TABSTOP)) w.focus = control;

    if (c->toolTip.empty()) continue;
    if (!w.toolTip) {
      w.toolTip =
          CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, w.window, nullptr, instance_, nullptr);
    }
    std::string tip(c->toolTip);
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;  // understood by every version of the common controls
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = w.window;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = tip.data();
    SendMessageA(w.toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

// ----------------------------------------------------------- runtime calls

void Runtime::Show(forms::Form& form) {
  if (ending_) return;
  FormWindow* w = Find(form);
  if (!w) {
    w = Load(form);
    if (!w) return;
    // The window exists, hidden, while Form_Load runs.
    form.Form_Load();
    if (ending_ || Find(form) != w) return;
    ShowWindow(w->window, SW_SHOW);
    AfterEvent(*w, -1);
  } else {
    ShowWindow(w->window, IsIconic(w->window) ? SW_RESTORE : SW_SHOW);
  }
  SetForegroundWindow(w->window);
  BringWindowToTop(w->window);
  if (w->focus && GetActiveWindow() == w->window) SetFocus(w->focus);
}

void Runtime::Hide(forms::Form& form) {
  if (FormWindow* w = Find(form)) ShowWindow(w->window, SW_HIDE);
}

void Runtime::SetWindowState(forms::Form& form, forms::WindowState state) {
  if (FormWindow* w = Require(form))
    ShowWindow(w->window, state == forms::WindowState::Minimized ? SW_MINIMIZE : SW_RESTORE);
}

void Runtime::End() { Quit(); }

void Runtime::Quit() {
  if (ending_) return;
  ending_ = true;
  // Every window goes from the screen now; whatever must still happen
  // before the program ends waits until Run's loop is over, outside any
  // window's message.
  for (const auto& w : windows_) {
    w->timers.StopAll();
    ShowWindow(w->window, SW_HIDE);
  }
  if (modalWindow_) KillTimer(modalWindow_, kModalTimerId);
  PreciseTimer(false);
  PostQuitMessage(0);
}

std::string Runtime::Text(forms::Form& form, int control) {
  const FormWindow* w = Require(form);
  const FormWindow::Control* c = w ? w->FindControl(control) : nullptr;
  if (!c) return "";
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(c->window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextA(c->window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Runtime::SetText(forms::Form& form, int control, std::string_view text) {
  const FormWindow* w = Require(form);
  const FormWindow::Control* c = w ? w->FindControl(control) : nullptr;
  if (!c) return;
  // The clock is set a thousand times a second: repaint only on a change.
  if (Text(form, control) == text) return;
  SetWindowTextA(c->window, std::string(text).c_str());
}

forms::WindowHandle Runtime::hWnd(forms::Form& form) {
  const FormWindow* w = Require(form);
  return w ? w->window : nullptr;
}

forms::TimeOfDay Runtime::Now() { return time_->LocalTime(); }

// -------------------------------------------------------------------- timers

void Runtime::AfterEvent(FormWindow& w, int tickedTimer) {
  if (ending_) return;
  const Clock::time_point now = time_->Monotonic();
  for (int id : w.timers.Ids()) {
    const int delay = w.form.TimerDelay(id);
    switch (forms::RearmTimer(id == tickedTimer, delay, w.timers.Active(id),
                              w.timers.RemainingMs(id, now))) {
      case forms::TimerAction::Start:
        w.timers.Start(id, delay, now);
        break;
      case forms::TimerAction::Stop:
        w.timers.Stop(id);
        break;
      case forms::TimerAction::Keep:
        break;
    }
  }
  if (modalWindow_) ArmModalTimer();
}

void Runtime::RunDueTimers() {
  // A few rounds at most, so that a timer re-armed at once cannot hold the
  // messages back.
  for (int round = 0; round < 8 && !ending_; ++round) {
    bool ran = false;
    const Clock::time_point now = time_->Monotonic();
    for (std::size_t i = 0; i < windows_.size() && !ending_; ++i) {
      FormWindow& w = *windows_[i];
      const int id = w.timers.TakeDue(now);
      if (id < 0) continue;
      ran = true;
      w.form.Timer(id);
      AfterEvent(w, id);
    }
    if (!ran) break;
  }
}

bool Runtime::NextDue(Clock::time_point& due) const {
  bool any = false;
  for (const auto& w : windows_) {
    Clock::time_point d;
    if (w->timers.NextDue(d) && (!any || d < due)) {
      due = d;
      any = true;
    }
  }
  return any;
}

void Runtime::ArmModalTimer() {
  Clock::time_point due;
  if (ending_ || !NextDue(due)) {
    KillTimer(modalWindow_, kModalTimerId);
    return;
  }
  // The system clamps the interval to its minimum (about 10 ms).
  const Clock::time_point now = time_->Monotonic();
  PreciseTimer(due - now <= kPreciseLead);
  const UINT wait = WaitMilliseconds(due, now, 1000);
  SetTimer(modalWindow_, kModalTimerId, std::max<UINT>(wait, USER_TIMER_MINIMUM), nullptr);
}

// -------------------------------------------------------------- message loop

int Runtime::Run() {
  Pump(nullptr, Clock::time_point::max());
  DestroyAll();
  PreciseTimer(false);
  // The windows are gone: a wait here (for hang-ups to settle) leaves
  // nothing on the screen that does not answer.
  if (beforeEnd_) std::exchange(beforeEnd_, nullptr)();
  return exitCode_;
}

bool Runtime::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  Pump(&done, time_->Monotonic() + timeout);
  return done();
}

bool Runtime::Pump(const std::function<bool()>* done, Clock::time_point deadline) {
  MSG msg;
  for (;;) {
    if (quitSeen_) return false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        exitCode_ = static_cast<int>(msg.wParam);
        quitSeen_ = true;
        return false;
      }
      Dispatch(msg);
      RunDueTimers();
    }
    unloaded_.clear();
    RunDueTimers();
    if (done && (*done)()) return true;
    const Clock::time_point now = time_->Monotonic();
    if (now >= deadline) return false;
    Clock::time_point due = deadline;
    const bool timer = NextDue(due) && due <= deadline;
    due = std::min(due, deadline);
    DWORD wait = INFINITE;
    if (due != Clock::time_point::max()) {
      const bool soon = due - now <= kPreciseLead;
      PreciseTimer(timer && soon);
      wait = WaitMilliseconds(timer && !soon ? due - kPreciseLead : due, now, 60000);
    } else {
      PreciseTimer(false);
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void Runtime::PreciseTimer(bool precise) {
  if (precise == precise_) return;
  precise_ = precise;
  const Clock::time_point now = time_->Monotonic();
  if (precise) {
    timeBeginPeriod(1);
    ++period_.raised;
    preciseSince_ = now;
  } else {
    timeEndPeriod(1);
    period_.held += now - preciseSince_;
  }
}

TimerPeriodStats Runtime::TimerPeriod() const {
  TimerPeriodStats stats = period_;
  if (precise_) stats.held += time_->Monotonic() - preciseSince_;
  return stats;
}

void Runtime::TimeChanged() {
  if (ending_) return;
  const Clock::time_point now = time_->Monotonic();
  for (const auto& w : windows_) {
    // A clock timer waiting for the next second by the old time is due now;
    // the forms then say afresh what they need.
    for (int id : w->timers.Ids())
      if (w->timers.Active(id)) w->timers.Start(id, 0, now);
  }
  for (std::size_t i = 0; i < windows_.size() && !ending_; ++i) AfterEvent(*windows_[i], -1);
}

void Runtime::Dispatch(MSG& msg) {
  // The dialog manager gives the forms Tab, the arrow keys, Space, Enter and
  // the Alt access keys. Plain characters go straight to the control: an
  // access key without Alt would otherwise press a button.
  if (msg.hwnd && msg.message != WM_CHAR) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (ByHandle(root) && IsDialogMessageA(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

void Runtime::DestroyAll() {
  ending_ = true;
  std::vector<HWND> handles;
  for (const auto& w : windows_) handles.push_back(w->window);
  for (HWND window : handles) DestroyWindow(window);  // WM_NCDESTROY takes it off the list
  windows_.clear();
  unloaded_.clear();
}

// ----------------------------------------------------------- window messages

LRESULT CALLBACK Runtime::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* w = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    w = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    w->window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
  }
  if (!w) return DefWindowProcA(window, message, wParam, lParam);
  return w->runtime.Handle(*w, message, wParam, lParam);
}

LRESULT Runtime::Handle(FormWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = w.window;
  switch (message) {
    case WM_COMMAND: {
      const FormWindow::Control* c =
          w.FindControl(static_cast<int>(LOWORD(wParam)) - kControlIdBase);
      if (!c || ending_) return 0;
      const int id = c->id;
      const WORD code = HIWORD(wParam);
      if (c->kind == forms::ControlKind::CommandButton && code == BN_CLICKED) {
        w.form.Click(id);
      } else if (c->kind == forms::ControlKind::TextBox && code == EN_CHANGE) {
        w.form.Change(id);
      } else {
        return 0;
      }
      AfterEvent(w, -1);
      return 0;
    }
    case DM_GETDEFID: {
      // Enter presses the button that has the focus.
      HWND focus = GetFocus();
      for (const auto& c : w.controls) {
        if (c.window == focus && c.kind == forms::ControlKind::CommandButton)
          return MAKELRESULT(kControlIdBase + c.id, DC_HASDEFID);
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN: {
      if (ending_) return message == WM_XBUTTONDOWN;
      // Left 1, right 2, any other 4.
      const int button = message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : 4;
      const int shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0) |
                        (GetKeyState(VK_MENU) < 0 ? 4 : 0);
      const float x = static_cast<float>(GET_X_LPARAM(lParam)) * twipsPerPixelX_;
      const float y = static_cast<float>(GET_Y_LPARAM(lParam)) * twipsPerPixelY_;
      w.form.Form_MouseDown(button, shift, x, y);
      AfterEvent(w, -1);
      return message == WM_XBUTTONDOWN;  // TRUE: handled
    }
    case WM_CTLCOLORSTATIC: {
      // Labels on the window's own colour.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, w.backColor);
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(w.backBrush);
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) w.focus = focus;
      } else if (!HIWORD(wParam) && w.focus) {
        SetFocus(w.focus);
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (w.focus) SetFocus(w.focus);
      return 0;
    case WM_ENTERSIZEMOVE:
    case WM_ENTERMENULOOP:
      modalWindow_ = window;
      ArmModalTimer();
      break;
    case WM_EXITSIZEMOVE:
    case WM_EXITMENULOOP:
      if (modalWindow_ == window) {
        KillTimer(window, kModalTimerId);
        modalWindow_ = nullptr;
      }
      break;
    case WM_TIMECHANGE:
      TimeChanged();
      return 0;
    case WM_SETTINGCHANGE:
      // "intl": the regional settings, the time separator among them. A new
      // time zone comes with WM_TIMECHANGE, but not from every program that
      // sets one: asking again costs nothing.
      if (lParam && std::strcmp(reinterpret_cast<const char*>(lParam), "intl") == 0)
        separator_ = time_->TimeSeparator();
      TimeChanged();
      break;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) TimeChanged();
      return TRUE;
    case WM_TIMER:
      if (wParam != kModalTimerId) break;
      RunDueTimers();
      if (modalWindow_) ArmModalTimer();
      return 0;
    case WM_CLOSE: {
      if (ending_) return 0;
      int cancel = 0;
      w.form.Form_Unload(cancel);
      if (ending_) return 0;
      if (cancel != 0) {
        AfterEvent(w, -1);
        return 0;
      }
      DestroyWindow(window);  // `w` is gone after this
      return 0;
    }
    case WM_NCDESTROY: {
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      if (modalWindow_ == window) modalWindow_ = nullptr;
      for (const auto& c : w.controls) DeleteObject(c.font);
      auto it = std::find_if(windows_.begin(), windows_.end(),
                             [&](const auto& p) { return p.get() == &w; });
      if (it != windows_.end()) {
        unloaded_.push_back(std::move(*it));
        windows_.erase(it);
      }
      // The program ends when no window is left to the user. A loaded window
      // that is hidden counts only while another one shows: alone, nothing
      // could ever bring it back, and the program would run on unseen.
      if (std::none_of(windows_.begin(), windows_.end(),
                       [](const auto& loaded) { return IsWindowVisible(loaded->window); }))
        Quit();
      return DefWindowProcA(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace win32
