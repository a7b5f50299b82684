// The window system's region and move calls the main window makes, by their
// user32 and gdi32 names. The Win32 backend makes the real calls; the Qt
// backend gives them the same meaning on its own windows; tests use a double.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
// <windows.h> spells these as macros; from here on they are the constants
// below, of the same values.
#undef RGN_COPY
#undef WM_NCLBUTTONDOWN
#undef HTCAPTION
#endif

namespace platform {

#if defined(_WIN32)
using HRGN = ::HRGN;
using HWND = ::HWND;
#else
struct RegionHandle;
using HRGN = RegionHandle*;
using HWND = void*;
#endif

inline constexpr int RGN_COPY = 5;
inline constexpr unsigned WM_NCLBUTTONDOWN = 0xA1;
inline constexpr std::uintptr_t HTCAPTION = 2;

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  virtual HRGN CreateRectRgn(int x1, int y1, int x2, int y2) = 0;
  virtual HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) = 0;
  virtual int CombineRgn(HRGN destination, HRGN source1, HRGN source2, int mode) = 0;
  virtual bool DeleteObject(HRGN object) = 0;
  // From this call on the window owns `region`.
  virtual int SetWindowRgn(HWND window, HRGN region, bool redraw) = 0;
  virtual bool ReleaseCapture() = 0;
  // WM_NCLBUTTONDOWN with HTCAPTION runs the window system's move loop and
  // returns when the mouse button is released.
  virtual std::intptr_t SendMessageA(HWND window, unsigned message, std::uintptr_t wParam,
                                     const std::int32_t* lParam) = 0;
};

}  // namespace platform
