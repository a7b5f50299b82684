// The window procedure of every form's class: control notifications, presses
// on the bare surface, colours, focus, the system's modal loops, time and
// power changes, closing and the end of a window.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/runtime_rules.h"
#include "platform/win32/win32_form_window.h"
// After <windows.h>, which the line above brings.
#include <windowsx.h>

namespace win32 {

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
      const auto button = message == WM_LBUTTONDOWN   ? forms::MouseButton::Left
                          : message == WM_RBUTTONDOWN ? forms::MouseButton::Right
                                                      : forms::MouseButton::Other;
      const forms::MouseDownArgs a = forms::MouseDown(
          button, wParam & MK_SHIFT, wParam & MK_CONTROL, GetKeyState(VK_MENU) < 0,
          GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), twipsPerPixelX_, twipsPerPixelY_);
      w.form.Form_MouseDown(a.button, a.shift, a.x, a.y);
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
      if (forms::NoWindowLeftToUser(
              windows_, [](const auto& loaded) { return IsWindowVisible(loaded->window); }))
        Quit();
      return DefWindowProcA(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace win32
