// The main window's region on Qt: it is where the window takes the mouse (its
// mask) and all of the window that is painted, so that a compositor that
// clips nothing (Wayland) shows the desktop around it; at a finer scale than
// its pixels (a Wayland output at scale 2) its edge is drawn at that scale.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "platform/qt/qt_window_system.h"

namespace {

constexpr int kWidth = 100, kHeight = 60;
constexpr QRect kEllipse(10, 5, 80, 50);
const QColor kDesignColour(0xD4, 0xD0, 0xC8);

struct Shaped {
  Shaped() {
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setFixedSize(kWidth, kHeight);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, kDesignColour);
    window.setPalette(palette);
    window.setAutoFillBackground(true);  // as the forms runtime sets a design colour
    region = windows.CreateEllipticRgn(kEllipse.left(), kEllipse.top(), kEllipse.right() + 1,
                                       kEllipse.bottom() + 1);
    mask = region->region;
    windows.SetWindowRgn(&window, region, true);
  }
  // What the window paints over a transparent image at `scale` device pixels a pixel.
  QImage Painted(int scale) {
    QImage image(kWidth * scale, kHeight * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    window.render(&image, QPoint(), QRegion(), QWidget::DrawChildren | QWidget::IgnoreMask);
    return image;
  }
  qt_backend::WindowSystem windows;
  QWidget window;
  platform::HRGN region;
  QRegion mask;
};

// Where (x, y), the centre of a pixel in the window's own pixels, lies from the
// ellipse: below 1 inside, above outside.
double EllipseLevel(double x, double y) {
  const QPointF c = QRectF(kEllipse).center();
  const double dx = (x - c.x()) / (kEllipse.width() / 2.0),
               dy = (y - c.y()) / (kEllipse.height() / 2.0);
  return dx * dx + dy * dy;
}

TEST(QtWindowRegion, AtItsOwnScaleThePaintedPixelsAreTheMasksInTheDesignColour) {
  Shaped s;
  EXPECT_EQ(s.window.mask(), s.mask);
  const QImage image = s.Painted(1);
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const QColor want = s.mask.contains(QPoint(x, y)) ? kDesignColour : QColor(Qt::transparent);
      if (image.pixelColor(x, y) != want) {
        if (++wrong <= 5)
          ADD_FAILURE() << "(" << x << ", " << y << "): expected "
                        << want.name(QColor::HexArgb).toStdString() << ", came "
                        << image.pixelColor(x, y).name(QColor::HexArgb).toStdString();
      }
    }
  }
  EXPECT_EQ(wrong, 0) << "pixels unlike the mask";
}

TEST(QtWindowRegion, AtScale2TheEdgeFollowsTheEllipseInDevicePixels) {
  Shaped s;
  const QImage image = s.Painted(2);
  // Three quarters of a device pixel either side of the edge may go either
  // way; the mask's own steps, drawn twice as large, miss by up to two.
  const double grow = 1 + 0.375 / (kEllipse.height() / 2.0);
  const double shrink = 1 - 0.375 / (kEllipse.height() / 2.0);
  int wrong = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const double level = EllipseLevel((x + 0.5) / 2, (y + 0.5) / 2);
      const int alpha = image.pixelColor(x, y).alpha();
      const bool bad = (level < shrink * shrink && image.pixelColor(x, y) != kDesignColour) ||
                       (level > grow * grow && alpha != 0);
      if (bad && ++wrong <= 5)
        ADD_FAILURE() << "device pixel (" << x << ", " << y << ") at level " << level
                      << " has alpha " << alpha;
    }
  }
  EXPECT_EQ(wrong, 0) << "device pixels on the wrong side of the ellipse";
}

}  // namespace
