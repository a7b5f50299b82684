// The forms runtime on Qt 6 Widgets: each Form becomes a top-level QWidget
// with a native widget per control, and its events go to the Form's handlers.
#pragma once

#include <QFont>
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms.h"

namespace qt_backend {

class Clock;
class FormTimer;
class SystemClock;

class FormWindow;

class Runtime : public forms::Runtime {
 public:
  // `clock` gives the time of day and tells when it steps; by default the
  // system's.
  explicit Runtime(Clock* clock = nullptr);
  ~Runtime() override;

  void Show(forms::Form& form) override;
  void Hide(forms::Form& form) override;
  void SetWindowState(forms::Form& form, forms::WindowState state) override;
  void End() override;
  std::string Text(forms::Form& form, int control) override;
  void SetText(forms::Form& form, int control, std::string_view text) override;
  forms::WindowHandle hWnd(forms::Form& form) override;
  float TwipsPerPixelX() override;
  float TwipsPerPixelY() override;
  forms::TimeOfDay Now() override;
  std::string TimeSeparator() override { return separator_; }

  // Called by a window after each event its form handled.
  void AfterEvent(FormWindow& window, int tickedTimer);
  // Called when the window system closed a window and its form let it go.
  void Unloaded(forms::Form& form);
  bool Ending() const { return ending_; }
  Clock& clock() { return clock_; }
  // The form currently loaded for `form`, if any.
  FormWindow* Loaded(forms::Form& form);

 private:
  // The time of day stepped: every active timer is due at once, and every
  // form is asked afresh.
  void ClockStepped();
  class Slots;
  // The loaded window of `form`, loaded first if need be; null only when it
  // could not be.
  FormWindow* Require(forms::Form& form);

  std::unique_ptr<SystemClock> systemClock_;
  Clock& clock_;
  std::map<forms::Form*, FormWindow*> windows_;
  std::string separator_;
  bool ending_ = false;
  // The side channel from Now() to the timer rule: while AfterEvent asks a
  // form for a timer's delay, the instant Now() told it, to the millisecond
  // it told; -1 when it did not read the clock. A delay the form chose from
  // the clock ("the next second begins in 380 ms") then counts from the
  // instant it read, not from when the answer arrives, so that the tick
  // lands on the turn of the second and not a little after.
  std::int64_t toldAt_ = -1;
};

// One loaded form: the window, its controls and its timers.
class FormWindow : public QWidget {
  Q_OBJECT
 public:
  FormWindow(Runtime& runtime, forms::Form& form, float tppX, float tppY);

  forms::Form& form() { return form_; }
  QWidget* Control(int id) const;
  FormTimer* TimerControl(int id) const;
  const std::vector<std::pair<int, FormTimer*>>& Timers() const { return timers_; }
  void FocusFirst();
  // The timer whose tick is being handled, or -1.
  int Ticking() const { return ticking_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* Build(const forms::ControlDesign& design);
  // Runs one of the form's handlers, then lets the runtime re-arm the timers.
  template <typename Handler>
  void Route(Handler handler, int tickedTimer = -1);
  QRect Pixels(int left, int top, int width, int height) const;
  QFont Font(const forms::FontDesign& design) const;

  Runtime& runtime_;
  forms::Form& form_;
  float tppX_, tppY_;
  std::map<int, QWidget*> controls_;
  std::vector<std::pair<int, FormTimer*>> timers_;
  int ticking_ = -1;
};

// The platform's colour for a design colour.
QColor ColorOf(forms::Color color);

}  // namespace qt_backend
