// The main window: an ellipse with a big clock, a box for the disconnect time
// and five buttons.
#pragma once

#include <cstdint>

#include "about/form1.h"
#include "platform/address.h"
#include "platform/forms.h"
#include "platform/window_system.h"

namespace main_window {

class ShapedForm : public forms::Form {
 public:
  enum Control {
    Label2,    // above the clock: "IP adresa", then the address Command5 reads
    lblTime,   // the big clock, hh:mm:ss
    Label1,    // "Ispod unesite tacno vreme ...": what to type below
    Text1,     // the box for the time of disconnection
    Command1,  // "&Prekidnikuj!": hang up now
    Command4,  // "Minimizuj!": minimise
    Command5,  // "IP Adresa": show the address in Label2
    Command3,  // "&O autoru": the About window
    Command2,  // "I&zlaz!": quit; the focus starts here
    Timer1,    // not shown: keeps lblTime on the time of day
    Timer2,    // not shown: hangs up while Text1 shows lblTime's text
    Winsock1   // not shown: where the address comes from
  };

  ShapedForm(forms::Runtime& runtime, platform::WindowSystem& windowSystem,
             platform::AddressSource& winsock)
      : runtime_(runtime), windowSystem_(windowSystem), winsock_(winsock), form1_(runtime, *this) {}

  const forms::FormDesign& Design() const override;
  about::Form1& AboutWindow() { return form1_; }

  void Form_Load() override;
  void Form_MouseDown(int button, int shift, float x, float y) override;
  void Form_Unload(int& cancel) override;
  void Click(int control) override;
  void Timer(int control) override;
  int TimerDelay(int timer) override;

  static const forms::FormDesign kDesign;

 private:
  platform::HRGN CreateFormRegion(float scaleX, float scaleY, std::int16_t offsetX,
                                  std::int16_t offsetY);

  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Timer1_Timer();
  void Timer2_Timer();

  forms::Runtime& runtime_;
  platform::WindowSystem& windowSystem_;
  platform::AddressSource& winsock_;  // the Winsock1 control
  about::Form1 form1_;
  int lastTick_ = -1;  // the timer whose tick was the last event handled
  // Given to the window in Form_Load; the window system releases it.
  platform::HRGN FormRegion = nullptr;
};

}  // namespace main_window
