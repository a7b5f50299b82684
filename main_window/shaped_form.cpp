#include "main_window/shaped_form.h"

#include "dialup/module1.h"
#include "main_window/form_region.h"
#include "platform/timer_rule.h"
#include "schedule/clock.h"

namespace main_window {

namespace {

using forms::Alignment;
using forms::ControlKind;

constexpr forms::FontDesign kDefaultFont = {};

// clang-format off
constexpr forms::ControlDesign kControls[] = {
    {.id = ShapedForm::Label2, .name = "Label2", .kind = ControlKind::Label,
     .caption = "IP adresa", .left = 810, .top = 495, .width = 6045, .height = 615,
     .tabIndex = 8, .alignment = Alignment::Center, .font = {"MS Sans Serif", 700, 13.5}},
    {.id = ShapedForm::lblTime, .name = "lblTime", .kind = ControlKind::Label,
     .caption = "VREME", .left = 2010, .top = 1005, .width = 3585, .height = 1005,
     .tabIndex = 4, .alignment = Alignment::Center, .font = {"TimesRomanBold", 700, 36}},
    {.id = ShapedForm::Label1, .name = "Label1", .kind = ControlKind::Label,
     .caption = "Ispod unesite tacno vreme kad hocete da prekidnikujete racunar sa Interneta",
     .left = 1380, .top = 2175, .width = 5145, .height = 495, .tabIndex = 3,
     .alignment = Alignment::Center, .font = kDefaultFont, .wordWrap = true},
    {.id = ShapedForm::Text1, .name = "Text1", .kind = ControlKind::TextBox, .caption = "",
     .left = 1305, .top = 2850, .width = 5235, .height = 375, .tabIndex = 1,
     .alignment = Alignment::Center, .toolTip = "Unesite tacno vreme"},
    {.id = ShapedForm::Command1, .name = "Command1", .kind = ControlKind::CommandButton,
     .caption = "&Prekidnikuj!", .left = 1755, .top = 3315, .width = 1245, .height = 525,
     .tabIndex = 2, .toolTip = "Prekidnikuj odmah"},
    {.id = ShapedForm::Command4, .name = "Command4", .kind = ControlKind::CommandButton,
     .caption = "Minimizuj!", .left = 3150, .top = 3315, .width = 1245, .height = 525,
     .tabIndex = 6},
    {.id = ShapedForm::Command5, .name = "Command5", .kind = ControlKind::CommandButton,
     .caption = "IP Adresa", .left = 4590, .top = 3330, .width = 1245, .height = 525,
     .tabIndex = 7},
    {.id = ShapedForm::Command3, .name = "Command3", .kind = ControlKind::CommandButton,
     .caption = "&O autoru", .left = 2490, .top = 3960, .width = 1245, .height = 525,
     .tabIndex = 5},
    {.id = ShapedForm::Command2, .name = "Command2", .kind = ControlKind::CommandButton,
     .caption = "I&zlaz!", .left = 3870, .top = 3960, .width = 1245, .height = 525,
     .tabIndex = 0, .toolTip = "Izlaz"},
    {.id = ShapedForm::Timer1, .name = "Timer1", .kind = ControlKind::Timer, .caption = "",
     .left = 5535, .top = 1245, .width = 0, .height = 0, .interval = 1},
    {.id = ShapedForm::Timer2, .name = "Timer2", .kind = ControlKind::Timer, .caption = "",
     .left = 5535, .top = 1695, .width = 0, .height = 0, .interval = 1},
    {.id = ShapedForm::Winsock1, .name = "Winsock1", .kind = ControlKind::Winsock,
     .caption = "", .left = 5400, .top = 4050, .width = 0, .height = 0},
};
// clang-format on

}  // namespace

const forms::FormDesign ShapedForm::kDesign = {
    .name = "ShapedForm",
    .caption = "Prekidnik",
    .borderStyle = forms::BorderStyle::None,
    .backColor = forms::kActiveBorderColor,
    .clientWidth = 8805,
    .clientHeight = 5025,
    .startUpPosition = forms::StartUpPosition::Manual,
    .left = 2370,
    .top = 1980,
    .controls = kControls,
};

const forms::FormDesign& ShapedForm::Design() const { return kDesign; }

void ShapedForm::Click(int control) {
  switch (control) {
    case Command1:
      Command1_Click();
      break;
    case Command2:
      Command2_Click();
      break;
    case Command3:
      Command3_Click();
      break;
    case Command4:
      Command4_Click();
      break;
    case Command5:
      Command5_Click();
      break;
    default:
      break;
  }
}

void ShapedForm::Timer(int control) {
  lastTick_ = control;
  if (control == Timer1) Timer1_Timer();
  if (control == Timer2) Timer2_Timer();
}

int ShapedForm::TimerDelay(int timer) {
#if defined(PREKIDNIK_PLAIN_TIMERS)
  return forms::Form::TimerDelay(timer);
#else
  // Both timers are designed to tick every millisecond, but most of those
  // ticks could not change anything a user sees, so they are skipped:
  // - Timer1 writes the same clock text until the next second begins.
  // - Timer2's outcome can only change when the clock text or the typed
  //   text does, and after each such event the runtime asks again. While the
  //   two match, it ticks every millisecond as designed, so the hang-up is
  //   requested on every tick of that second.
  const int interval = forms::Form::TimerDelay(timer);
  switch (timer) {
    case Timer1: {
      const forms::TimeOfDay t = runtime_.Now();
      const std::string now =
          schedule::FormatClockText(t.hour, t.minute, t.second, runtime_.TimeSeparator());
      return forms::AtEachSecond(runtime_.Text(*this, lblTime) == now, t, interval);
    }
    case Timer2:
      return forms::WhileWanted(
          schedule::IsDisconnectTime(runtime_.Text(*this, Text1), runtime_.Text(*this, lblTime)),
          lastTick_ == Timer2, interval);
    default:
      return interval;
  }
#endif
}

// --- Start-up, shape and moving ---

platform::HRGN ShapedForm::CreateFormRegion(float scaleX, float scaleY, std::int16_t offsetX,
                                            std::int16_t offsetY) {
  FormRegion = windowSystem_.CreateRectRgn(0, 0, 0, 0);
  const EllipseCorners c = ComputeEllipseCorners(
      scaleX, scaleY, offsetX, offsetY, runtime_.TwipsPerPixelX(), runtime_.TwipsPerPixelY());
  platform::HRGN ellipse = windowSystem_.CreateEllipticRgn(c.x1, c.y1, c.x2, c.y2);
  windowSystem_.CombineRgn(FormRegion, ellipse, ellipse, platform::RGN_COPY);
  windowSystem_.DeleteObject(ellipse);
  return FormRegion;
}

void ShapedForm::Form_Load() {
  auto window = static_cast<platform::HWND>(runtime_.hWnd(*this));
  platform::HRGN region = CreateFormRegion(1.0f, 1.0f, 0, 0);
  windowSystem_.SetWindowRgn(window, region, true);
}

void ShapedForm::Form_MouseDown(int, int, float, float) {
  // Let the window system move the window as if its title bar were pressed.
  const std::int32_t zero = 0;
  windowSystem_.ReleaseCapture();
  windowSystem_.SendMessageA(static_cast<platform::HWND>(runtime_.hWnd(*this)),
                             platform::WM_NCLBUTTONDOWN, platform::HTCAPTION, &zero);
}

void ShapedForm::Form_Unload(int&) {
  // FormRegion belongs to the window since Form_Load and goes with it.
}

// --- Buttons ---

void ShapedForm::Command1_Click() { Module1::HangUpConnections(); }

void ShapedForm::Command2_Click() { runtime_.End(); }

void ShapedForm::Command3_Click() { runtime_.Show(form1_); }

void ShapedForm::Command4_Click() { runtime_.SetWindowState(*this, forms::WindowState::Minimized); }

void ShapedForm::Command5_Click() { runtime_.SetText(*this, Label2, winsock_.LocalIP()); }

// --- Clock and schedule ---

void ShapedForm::Timer1_Timer() {
  const forms::TimeOfDay t = runtime_.Now();
  runtime_.SetText(*this, lblTime,
                   schedule::FormatClockText(t.hour, t.minute, t.second, runtime_.TimeSeparator()));
}

void ShapedForm::Timer2_Timer() {
  if (schedule::IsDisconnectTime(runtime_.Text(*this, Text1), runtime_.Text(*this, lblTime)))
    Module1::HangUpConnections();
}

}  // namespace main_window
