// The region and move calls of the main window, given their Windows meaning
// on Qt's top-level widgets: a region becomes the widget's mask (where it
// takes the mouse, and on X11 also what it shows) and the only part of the
// window painted (what it shows on Wayland, where a mask shapes nothing); a
// press on the caption becomes a window-manager move (or, with no window
// manager on X11, a move that follows the mouse until the button is
// released).
#pragma once

#include <QObject>
#include <QPainterPath>
#include <QPoint>
#include <QRegion>
#include <map>
#include <memory>

#include "platform/window_system.h"

class QWidget;

namespace platform {
// A region in whole pixels, as Windows keeps it, and the same outline as
// drawn, for painting it at a finer scale than its pixels.
struct RegionHandle {
  QRegion region;
  QPainterPath outline;
};
}  // namespace platform

namespace qt_backend {

// The property in which a form's window keeps where in it the last mouse
// press was (a QPoint), for a move that follows the mouse from there.
inline constexpr const char* kPressedAt = "prekidnik-pressed-at";

class WindowSystem : public platform::WindowSystem {
 public:
  WindowSystem();
  ~WindowSystem() override;

  platform::HRGN CreateRectRgn(int x1, int y1, int x2, int y2) override;
  platform::HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) override;
  int CombineRgn(platform::HRGN destination, platform::HRGN source1, platform::HRGN source2,
                 int mode) override;
  bool DeleteObject(platform::HRGN object) override;
  int SetWindowRgn(platform::HWND window, platform::HRGN region, bool redraw) override;
  bool ReleaseCapture() override;
  std::intptr_t SendMessageA(platform::HWND window, unsigned message, std::uintptr_t wParam,
                             const std::int32_t* lParam) override;

 private:
  void FollowMouse(QWidget* window);

  // Regions created and not yet deleted or given to a window.
  std::map<platform::HRGN, std::unique_ptr<platform::RegionHandle>> regions_;
};

}  // namespace qt_backend
