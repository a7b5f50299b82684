#include "platform/qt/caret_rest.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>

namespace qt_backend {

namespace {

class CaretRest : public QObject {
 public:
  static CaretRest& Instance() {
    static CaretRest* const rest = new CaretRest;  // the application deletes it
    return *rest;
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::InputMethod:
      case QEvent::FocusIn:
      case QEvent::MouseButtonPress:
        if (QGuiApplication::styleHints()->cursorFlashTime() != flashTime_)
          QGuiApplication::styleHints()->setCursorFlashTime(flashTime_);
        rest_.start();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  CaretRest() : QObject(QCoreApplication::instance()) {
    rest_.setSingleShot(true);
    rest_.setInterval(10'000);
    connect(&rest_, &QTimer::timeout, this,
            [] { QGuiApplication::styleHints()->setCursorFlashTime(0); });
  }

  const int flashTime_ = QGuiApplication::styleHints()->cursorFlashTime();
  QTimer rest_;
};

}  // namespace

void RestCaret(QWidget* box) { box->installEventFilter(&CaretRest::Instance()); }

}  // namespace qt_backend
