// The Win32 runtime's calls from the forms, and the making of a form's
// windows: the form's own window, a standard control window per control, a
// tool tip window for those that have tips.
#include "platform/label_text.h"
#include "platform/runtime_rules.h"
#include "platform/win32/fonts.h"
#include "platform/win32/win32_form_window.h"
// After <windows.h>, which the line above brings.
#include <commctrl.h>

namespace win32 {

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
  twipsPerPixelX_ = forms::TwipsPerPixel(dpiX);
  twipsPerPixelY_ = forms::TwipsPerPixel(dpiY);
  if (dpiY > 0) pixelsPerInchY_ = dpiY;

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
  return forms::Require([&] { return Find(form); }, [&] { Show(form); });
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
  RECT r = {0, 0, forms::TwipsToPixels(d.clientWidth, twipsPerPixelX_),
            forms::TwipsToPixels(d.clientHeight, twipsPerPixelY_)};
  AdjustWindowRectEx(&r, s.style, FALSE, s.exStyle);
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (d.startUpPosition == forms::StartUpPosition::Manual) {
    x = forms::TwipsToPixels(d.left, twipsPerPixelX_);
    y = forms::TwipsToPixels(d.top, twipsPerPixelY_);
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
        forms::TwipsToPixels(c->left, twipsPerPixelX_),
        forms::TwipsToPixels(c->top, twipsPerPixelY_),
        forms::TwipsToPixels(c->width, twipsPerPixelX_),
        forms::TwipsToPixels(c->height, twipsPerPixelY_), w.window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + c->id)), instance_, nullptr);
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
  const forms::ControlDesign* design = form.Design().Find(control);
  forms::SetTextIfChanged(Text(form, control), text, design ? design->name : "",
                          [&] { SetWindowTextA(c->window, std::string(text).c_str()); });
}

forms::WindowHandle Runtime::hWnd(forms::Form& form) {
  const FormWindow* w = Require(form);
  return w ? w->window : nullptr;
}

forms::TimeOfDay Runtime::Now() { return time_->LocalTime(); }

}  // namespace win32
