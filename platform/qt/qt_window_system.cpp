#include "platform/qt/qt_window_system.h"

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

namespace qt_backend {

namespace {

// Moves a window with the mouse until the button is released, keeping the
// point of the window that was pressed under the pointer: where the press
// was, not where the pointer is by the time the press is handled, so that no
// part of a quick drag is lost.
class MouseFollower : public QObject {
 public:
  MouseFollower(QWidget* window, QEventLoop& loop)
      : window_(window),
        loop_(loop),
        grab_(window->property(kPressedAt).isValid() ? window->property(kPressedAt).toPoint()
                                                     : QCursor::pos() - window->pos()) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseMove:
        window_->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - grab_);
        return true;
      case QEvent::MouseButtonRelease:
      case QEvent::Hide:
        loop_.quit();
        return event->type() == QEvent::MouseButtonRelease;
      default:
        return false;
    }
  }

 private:
  QWidget* window_;
  QEventLoop& loop_;
  QPoint grab_;
};

// Keeps a window's region alive as long as the window, and paints it: the
// window is translucent, so that on Wayland, where its mask only says where
// it takes the mouse, nothing of it shows outside the region either. On X11
// the mask (the shape extension) clips the same pixels away, and a window of
// an opaque visual shows the region painted just as before.
class WindowRegion : public QObject {
 public:
  WindowRegion(std::unique_ptr<platform::RegionHandle> region, QWidget* window)
      : QObject(window), region_(std::move(region)), window_(window) {
    setObjectName(kName);
    window->installEventFilter(this);
  }
  static constexpr const char* kName = "prekidnik-window-region";

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    // The window's background, before its own painting and its children's.
    QPainter painter(window_);
    const QBrush brush = window_->palette().brush(window_->backgroundRole());
    if (painter.deviceTransform().m11() > 1) {
      painter.fillPath(region_->outline, brush);  // a finer scale: the outline, sharp
    } else {
      for (const QRect& rect : region_->region) painter.fillRect(rect, brush);  // the mask's own
    }
    return false;
  }

 private:
  std::unique_ptr<platform::RegionHandle> region_;
  QWidget* window_;
};

bool OnWayland() { return QGuiApplication::platformName().startsWith("wayland"); }

}  // namespace

WindowSystem::WindowSystem() = default;
WindowSystem::~WindowSystem() = default;

platform::HRGN WindowSystem::CreateRectRgn(int x1, int y1, int x2, int y2) {
  auto region = std::make_unique<platform::RegionHandle>();
  region->region = QRegion(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)));
  if (x2 > x1 && y2 > y1) region->outline.addRect(x1, y1, x2 - x1, y2 - y1);
  platform::HRGN handle = region.get();
  regions_[handle] = std::move(region);
  return handle;
}

platform::HRGN WindowSystem::CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  auto region = std::make_unique<platform::RegionHandle>();
  region->region = QRegion(x1, y1, x2 - x1, y2 - y1, QRegion::Ellipse);
  if (x2 > x1 && y2 > y1) region->outline.addEllipse(x1, y1, x2 - x1, y2 - y1);
  platform::HRGN handle = region.get();
  regions_[handle] = std::move(region);
  return handle;
}

int WindowSystem::CombineRgn(platform::HRGN destination, platform::HRGN source1,
                             platform::HRGN source2, int mode) {
  if (!regions_.count(destination) || !regions_.count(source1) || !regions_.count(source2))
    return 0;  // ERROR
  const QRegion a = source1->region, b = source2->region;
  const QPainterPath p = source1->outline, q = source2->outline;
  switch (mode) {
    case 1:  // RGN_AND
      destination->region = a & b;
      destination->outline = p.intersected(q);
      break;
    case 2:  // RGN_OR
      destination->region = a | b;
      destination->outline = p.united(q);
      break;
    case 3:  // RGN_XOR
      destination->region = a ^ b;
      destination->outline = p.united(q).subtracted(p.intersected(q));
      break;
    case 4:  // RGN_DIFF
      destination->region = a - b;
      destination->outline = p.subtracted(q);
      break;
    case platform::RGN_COPY:
      destination->region = a;
      destination->outline = p;
      break;
    default:
      return 0;
  }
  if (destination->region.isEmpty()) return 1;  // NULLREGION
  return destination->region.rectCount() == 1 ? 2 : 3;
}

bool WindowSystem::DeleteObject(platform::HRGN object) { return regions_.erase(object) == 1; }

int WindowSystem::SetWindowRgn(platform::HWND window, platform::HRGN region, bool redraw) {
  auto* widget = static_cast<QWidget*>(window);
  auto owned = regions_.find(region);
  if (!widget || (region && owned == regions_.end())) return 0;
  // The window owns its region from now on: it goes with the window, or with
  // the next region set on it.
  delete widget->findChild<QObject*>(WindowRegion::kName, Qt::FindDirectChildrenOnly);
  if (region) {
    widget->setMask(region->region);
    widget->setAttribute(Qt::WA_TranslucentBackground);
    new WindowRegion(std::move(owned->second), widget);
    regions_.erase(owned);
  } else {
    widget->clearMask();
    widget->setAttribute(Qt::WA_TranslucentBackground, false);
    widget->setAttribute(Qt::WA_NoSystemBackground, false);
  }
  if (redraw) widget->update();
  return 1;
}

bool WindowSystem::ReleaseCapture() {
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  return true;
}

std::intptr_t WindowSystem::SendMessageA(platform::HWND window, unsigned message,
                                         std::uintptr_t wParam, const std::int32_t*) {
  auto* widget = static_cast<QWidget*>(window);
  if (!widget || message != platform::WM_NCLBUTTONDOWN || wParam != platform::HTCAPTION) return 0;
  QWindow* native = widget->windowHandle();
  // Ask the window manager first; it moves the window until the release. On
  // Wayland only the compositor can move a window, with any button; where it
  // refuses, the window stays. An X11 window manager's move ends at a
  // left-button release only, so there a move started with another button is
  // the program's own.
  if (OnWayland()) {
    if (native) native->startSystemMove();
    return 0;
  }
  if (QGuiApplication::mouseButtons() == Qt::LeftButton && native && native->startSystemMove())
    return 0;
  FollowMouse(widget);
  return 0;
}

void WindowSystem::FollowMouse(QWidget* window) {
  // As the window system's own move loop does, wait here until the button is
  // released; timers keep ticking in the meantime.
  if (QGuiApplication::mouseButtons() == Qt::NoButton) return;  // released already
  QEventLoop loop;
  MouseFollower follower(window, loop);
  window->installEventFilter(&follower);
  window->grabMouse();
  loop.exec();
  window->releaseMouse();
  window->removeEventFilter(&follower);
}

}  // namespace qt_backend
