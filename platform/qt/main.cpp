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
  QApplication app(argc, argv);
  QApplication::setApplicationName("Prekidnik");
  qt_backend::Runtime runtime;
  qt_backend::WindowSystem windowSystem;
  unix_address::AddressSource winsock;
  main_window::ShapedForm shapedForm(runtime, windowSystem, winsock);
  runtime.Show(shapedForm);
  return QApplication::exec();
}
