// The forms runtime on Win32: each Form becomes a top-level window of its
// own class, each control a standard BUTTON, STATIC or EDIT window, and the
// message loop runs the forms' timers. Its files: win32_classes.cpp (the
// design as window styles and classes), win32_runtime.cpp (the runtime's
// calls and the making of a form's windows), win32_loop.cpp (the message
// loop and the timers), win32_messages.cpp (the window procedure). What
// every backend does alike is in platform/runtime_rules.h and timer_rule.h.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/win32/form_timers.h"

namespace win32 {

// Control window identifiers start here, clear of IDOK and IDCANCEL, which
// the dialog manager sends for Enter and Escape.
inline constexpr int kControlIdBase = 100;

struct WindowStyles {
  DWORD style;
  DWORD exStyle;
};

WindowStyles FormStyles(forms::BorderStyle border);
WindowStyles ControlStyles(const forms::ControlDesign& control);
// The window classes of the controls that are windows; nullptr for the rest.
const char* ControlClass(forms::ControlKind kind);
// Controls in the order their windows are made, which is also their z-order
// and so the order Tab visits them: by tab index, those outside it last,
// except that a text box's naming label comes right before the box.
std::vector<const forms::ControlDesign*> CreationOrder(
    std::span<const forms::ControlDesign> controls);
// The system colour index of a design colour, or -1 for a plain colour. The
// platform's own colour of a window is that of 3D surfaces.
int SystemColorIndex(forms::Color color);

// Where the runtime reads the time: the time of day and the locale's time
// separator that the clock shows, and the monotonic clock its timers count
// on. The program reads the system's; tests bring their own.
class TimeSource {
 public:
  virtual ~TimeSource() = default;
  virtual forms::TimeOfDay LocalTime() = 0;
  virtual std::string TimeSeparator() = 0;
  virtual Clock::time_point Monotonic() = 0;
};

class SystemTime : public TimeSource {
 public:
  forms::TimeOfDay LocalTime() override;
  // LOCALE_STIME of the user's locale; ":" when it has none.
  std::string TimeSeparator() override;
  Clock::time_point Monotonic() override { return Clock::now(); }
};

// How long the system timer was held at 1 ms, for the benchmark.
struct TimerPeriodStats {
  int raised = 0;             // times it was raised
  Clock::duration held = {};  // in all, up to now
};

class Runtime : public forms::Runtime {
 public:
  // `time` (the system's when null) outlives the runtime.
  explicit Runtime(HINSTANCE instance, TimeSource* time = nullptr);
  ~Runtime() override;
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  void Show(forms::Form& form) override;
  void Hide(forms::Form& form) override;
  void SetWindowState(forms::Form& form, forms::WindowState state) override;
  void End() override;
  std::string Text(forms::Form& form, int control) override;
  void SetText(forms::Form& form, int control, std::string_view text) override;
  forms::WindowHandle hWnd(forms::Form& form) override;
  float TwipsPerPixelX() override { return twipsPerPixelX_; }
  float TwipsPerPixelY() override { return twipsPerPixelY_; }
  forms::TimeOfDay Now() override;
  std::string TimeSeparator() override { return separator_; }

  // Runs as the program ends (by End or with the last window), once Run's
  // loop is over and every window is gone.
  void OnEnding(std::function<void()> beforeEnd) { beforeEnd_ = std::move(beforeEnd); }

  // Runs the message loop until the program ends; returns its exit code.
  int Run();
  // Runs the message loop until `done` answers true, the program ends or
  // `timeout` passes; returns what `done` answers last.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  bool Ended() const { return ending_; }
  TimerPeriodStats TimerPeriod() const;

  // The window of a loaded form, or nullptr.
  HWND LoadedWindow(const forms::Form& form) const;
  // The window of a control of a loaded form, or nullptr.
  HWND ControlWindow(const forms::Form& form, int control) const;

 private:
  struct FormWindow;

  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(FormWindow& w, UINT message, WPARAM wParam, LPARAM lParam);

  FormWindow* Find(const forms::Form& form) const;
  FormWindow* ByHandle(HWND window) const;
  FormWindow* Require(forms::Form& form);
  FormWindow* Load(forms::Form& form);
  void BuildControls(FormWindow& w);
  const char* RegisterFormClass(const forms::FormDesign& design);

  void AfterEvent(FormWindow& w, int tickedTimer);
  void RunDueTimers();
  bool NextDue(Clock::time_point& due) const;
  void ArmModalTimer();
  void Quit();
  // The time of day, its separator or the clock itself may have changed
  // (a step of the clock, a new zone, new regional settings, a resume):
  // every running timer is due at once, and every form is asked again.
  void TimeChanged();
  // The system timer at 1 ms while `precise`, at its default otherwise.
  void PreciseTimer(bool precise);
  bool Pump(const std::function<bool()>* done, Clock::time_point deadline);
  void Dispatch(MSG& msg);
  void DestroyAll();

  HINSTANCE instance_;
  SystemTime systemTime_;
  TimeSource* time_;
  bool precise_ = false;
  Clock::time_point preciseSince_;
  TimerPeriodStats period_;
  float twipsPerPixelX_ = 15, twipsPerPixelY_ = 15;
  int pixelsPerInchY_ = 96;
  std::string separator_ = ":";
  std::map<std::string, std::string, std::less<>> classes_;  // design name -> class name
  std::vector<HBRUSH> classBrushes_;
  std::vector<std::unique_ptr<FormWindow>> windows_;
  std::vector<std::unique_ptr<FormWindow>> unloaded_;  // freed between messages
  HWND modalWindow_ = nullptr;                         // the window whose modal loop is running
  std::function<void()> beforeEnd_;
  bool ending_ = false;
  bool quitSeen_ = false;  // Run's loop took WM_QUIT
  int exitCode_ = 0;
};

}  // namespace win32
