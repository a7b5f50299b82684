// Prekidnik on Linux: the main window on Qt, dial-up connections through
// NetworkManager (or pppd).
#include <QApplication>

#include "main_window/shaped_form.h"
#include "platform/qt/qt_runtime.h"
#include "platform/qt/qt_window_system.h"
#include "platform/unix/unix_address.h"

int main(int argc, char** argv) {
  // Sizes are in twips, turned into pixels through the screen's dots per
  // inch, as on Windows; Qt's own scaling on top would blur the window's
  // elliptic edge into steps.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  // On Wayland Qt watches each frame for a compositor's late frame callback
  // with a timer of its own, 100 ms after the frame: once a second for the
  // clock, a wakeup that tells nothing here. Without it a frame still waits
  // for its callback before the next one is drawn.
  if (!qEnvironmentVariableIsSet("QT_WAYLAND_FRAME_CALLBACK_TIMEOUT"))
    qputenv("QT_WAYLAND_FRAME_CALLBACK_TIMEOUT", "0");
  // On X11 the window's pixels go through the X server's socket, not shared
  // memory: before each repaint into shared memory the server last read, Qt
  // waits for it (a round trip, one more wakeup of the window's thread and
  // one of Qt's X thread), and the clock repaints once a second. Its few
  // changed digits are a few kilobytes through the socket.
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Prekidnik");
  qt_backend::Runtime runtime;
  qt_backend::WindowSystem windowSystem;
  unix_address::AddressSource winsock;
  main_window::ShapedForm shapedForm(runtime, windowSystem, winsock);
  runtime.Show(shapedForm);
  return QApplication::exec();
}
