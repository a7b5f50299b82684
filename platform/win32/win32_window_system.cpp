#include "platform/win32/win32_window_system.h"

namespace win32 {

HRGN WindowSystem::CreateRectRgn(int x1, int y1, int x2, int y2) {
  return ::CreateRectRgn(x1, y1, x2, y2);
}

HRGN WindowSystem::CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  return ::CreateEllipticRgn(x1, y1, x2, y2);
}

int WindowSystem::CombineRgn(HRGN destination, HRGN source1, HRGN source2, int mode) {
  return ::CombineRgn(destination, source1, source2, mode);
}

bool WindowSystem::DeleteObject(HRGN object) { return ::DeleteObject(object) != FALSE; }

int WindowSystem::SetWindowRgn(HWND window, HRGN region, bool redraw) {
  return ::SetWindowRgn(window, region, redraw ? TRUE : FALSE);
}

bool WindowSystem::ReleaseCapture() { return ::ReleaseCapture() != FALSE; }

std::intptr_t WindowSystem::SendMessageA(HWND window, unsigned message, std::uintptr_t wParam,
                                         const std::int32_t* lParam) {
  // The argument is passed by reference, as the handlers declare it: the
  // message gets its address. (The move loop that WM_NCLBUTTONDOWN starts
  // takes the cursor position from the message being handled, not from it.)
  return ::SendMessageA(window, message, wParam, reinterpret_cast<LPARAM>(lParam));
}

}  // namespace win32
