// What the Win32 runtime's files share and nobody else sees: one loaded
// form's windows and timers, and the ids and leads of the message loop.
#pragma once

#include <windows.h>

#include <chrono>
#include <vector>

#include "platform/win32/win32_runtime.h"

namespace win32 {

// Runs the forms' timers while a modal loop of the system (moving a window,
// a menu) holds the thread; those loops deliver WM_TIMER but return to
// nobody's own loop until they end.
inline constexpr UINT_PTR kModalTimerId = 1;
// The system timer ticks every 15.6 ms unless a program raises its rate,
// which costs the whole system power (every program's, before Windows 10
// 2004). A wait that ends at a timer due within this lead runs at 1 ms; a
// longer one wakes this much early at the default rate, then waits the rest
// precisely. So the rate is raised around each turn of the clock's second
// and all through a matching second, when a timer is due every millisecond.
inline constexpr auto kPreciseLead = std::chrono::milliseconds(25);

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

}  // namespace win32
