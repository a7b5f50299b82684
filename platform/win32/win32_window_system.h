// The main window's region and move calls: user32's and gdi32's own.
#pragma once

#include "platform/window_system.h"

namespace win32 {

class WindowSystem : public platform::WindowSystem {
 public:
  HRGN CreateRectRgn(int x1, int y1, int x2, int y2) override;
  HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) override;
  int CombineRgn(HRGN destination, HRGN source1, HRGN source2, int mode) override;
  bool DeleteObject(HRGN object) override;
  int SetWindowRgn(HWND window, HRGN region, bool redraw) override;
  bool ReleaseCapture() override;
  std::intptr_t SendMessageA(HWND window, unsigned message, std::uintptr_t wParam,
                             const std::int32_t* lParam) override;
};

}  // namespace win32
