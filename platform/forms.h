// The forms runtime: what the windows' designs and handlers need from the
// toolkit that shows them.
//
// A window is described once, as a FormDesign (its design table, in twips),
// and handled once, by a class derived from Form. A backend (Qt, Win32, the
// test double) turns the design into native widgets, routes the native events
// to the Form's handlers, and serves the Runtime calls the handlers make.
//
// The names are those of a forms designer: windows and controls are named
// by kind and number (`Form1`, `Text1`, `Command1`, `Timer1`), handlers by
// control and event (`Command1_Click`, `Timer1_Timer`, `Form_Load`), sizes are
// in twips (1440 to the inch, 15 to a pixel at 96 dpi), and the runtime's
// calls are named as the handlers use them (`Show`, `hWnd`,
// `TwipsPerPixelX`). The program was designed that way, and keeping the
// names keeps each handler next to the line of the design it carries out.
// Each window's enumeration of controls says what each one is on the screen.
//
// Where to start: platform/runtime_rules.h and platform/timer_rule.h hold
// what every backend does the same way; platform/qt/qt_runtime.cpp and
// platform/win32/win32_runtime.cpp (with win32_classes, win32_loop and
// win32_messages beside it) only turn the design into native windows and
// route the native events; platform/fake/fake_forms.h is the tests' runtime.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace forms {

// A colour as 0x00BBGGRR, or a system colour as 0x800000nn (nn: its index).
using Color = std::uint32_t;
inline constexpr Color kDefaultColor = 0xFFFFFFFF;  // the platform's own
inline constexpr Color kActiveBorderColor = 0x8000000A;

enum class ControlKind { Label, TextBox, CommandButton, Timer, Winsock };
enum class Alignment { Left, Center };
enum class BorderStyle { None = 0, FixedSingle = 1 };
enum class StartUpPosition { Manual, WindowsDefault };
enum class WindowState { Normal = 0, Minimized = 1 };

struct FontDesign {
  std::string_view name;  // empty: the window's default (dialog) font
  int weight = 400;
  double points = 0;
};

struct ControlDesign {
  int id;  // the form's own control number, passed back to its handlers
  std::string_view name;
  ControlKind kind;
  std::string_view caption = {};                 // "&" marks the access key
  int left = 0, top = 0, width = 0, height = 0;  // twips, relative to the client area
  int tabIndex = -1;                             // -1: not in the tab order
  Alignment alignment = Alignment::Left;
  FontDesign font = {};
  bool wordWrap = false;
  std::string_view toolTip = {};
  int interval = 0;  // timers: milliseconds
};

struct FormDesign {
  std::string_view name;
  std::string_view caption;
  BorderStyle borderStyle;
  Color backColor;
  int clientWidth, clientHeight;  // twips
  StartUpPosition startUpPosition;
  int left = 0, top = 0;  // twips from the screen's corner, when Manual
  std::span<const ControlDesign> controls;

  const ControlDesign* Find(int id) const {
    for (const auto& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
};

// A window's event handlers. The runtime calls them on the user-interface
// thread, one at a time.
class Form {
 public:
  virtual ~Form() = default;
  virtual const FormDesign& Design() const = 0;

  virtual void Form_Load() {}
  // Any mouse button pressed on the window's bare surface (not on a control).
  virtual void Form_MouseDown(int /*button*/, int /*shift*/, float /*x*/, float /*y*/) {}
  // Closed through the window system; setting `cancel` keeps the window.
  virtual void Form_Unload(int& /*cancel*/) {}
  virtual void Click(int /*control*/) {}
  virtual void Change(int /*control*/) {}  // a text box's text was edited
  virtual void Timer(int /*control*/) {}

  // Milliseconds until `timer` should tick next, or -1 when no tick can
  // change anything until some other event arrives. After each event the
  // runtime asks every timer of the form again: one that just ticked is armed
  // anew with the answer, any other only when the answer makes it due sooner.
  virtual int TimerDelay(int timer) {
    const ControlDesign* c = Design().Find(timer);
    return c ? c->interval : -1;
  }
};

// Opaque native window handle (HWND on Windows).
using WindowHandle = void*;

// Local time of day.
struct TimeOfDay {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Services of the runtime, named as the handlers use them.
class Runtime {
 public:
  virtual ~Runtime() = default;

  // Loads `form` if it is not loaded (creating its window and running its
  // Form_Load), makes it visible and brings it forward.
  virtual void Show(Form& form) = 0;
  // Makes `form` invisible; it stays loaded.
  virtual void Hide(Form& form) = 0;
  virtual void SetWindowState(Form& form, WindowState state) = 0;
  // Ends the program at once; no Form_Unload runs.
  virtual void End() = 0;

  // Caption of a label or button, text of a text box.
  virtual std::string Text(Form& form, int control) = 0;
  virtual void SetText(Form& form, int control, std::string_view text) = 0;

  virtual WindowHandle hWnd(Form& form) = 0;
  // The screen's twips per pixel, in the pixels the window calls use.
  virtual float TwipsPerPixelX() = 0;
  virtual float TwipsPerPixelY() = 0;

  virtual TimeOfDay Now() = 0;
  // The locale's time separator (":" where the locale names none).
  virtual std::string TimeSeparator() = 0;
};

}  // namespace forms
