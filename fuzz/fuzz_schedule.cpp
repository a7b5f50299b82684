// The main window's clock and schedule driven by any sequence of events:
// times of day, typed texts (the clock text itself, near misses, any bytes),
// separators and timer ticks. Timer2 hangs up exactly when the typed text is
// the clock text, and the timers' plan never skips such a tick.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "schedule/clock.h"

using fuzz::Check;
using main_window::ShapedForm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  fake::Ras() = {};
  fake::Ras().connections = {{fake::Handle(1), "Modem", /*closesOnHangUp=*/false}};
  fake::Runtime runtime;
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  ShapedForm form(runtime, windows, winsock);
  runtime.Show(form);

  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    const std::string shown = runtime.Text(form, ShapedForm::lblTime);
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:
        runtime.now = {in.ConsumeIntegralInRange(0, 23), in.ConsumeIntegralInRange(0, 59),
                       in.ConsumeIntegralInRange(0, 59), in.ConsumeIntegralInRange(0, 999)};
        break;
      case 1: {
        std::string text = in.ConsumeBool() ? shown : in.ConsumeRandomLengthString(4096);
        if (!text.empty() && in.ConsumeBool()) {
          text[in.ConsumeIntegralInRange<std::size_t>(0, text.size() - 1)] ^=
              static_cast<char>(in.ConsumeIntegralInRange(1, 255));
        }
        runtime.Type(form, ShapedForm::Text1, text);
        break;
      }
      case 2:
        runtime.separator = in.ConsumeBool() ? "." : in.ConsumeRandomLengthString(4);
        break;
      case 3:
        form.Timer(ShapedForm::Timer1);
        Check(runtime.Text(form, ShapedForm::lblTime) ==
              schedule::FormatClockText(runtime.now.hour, runtime.now.minute, runtime.now.second,
                                        runtime.separator));
        break;
      default: {
        const bool match = runtime.Text(form, ShapedForm::Text1) == shown;
        const std::size_t before = fake::Ras().hangUps.size();
        form.Timer(ShapedForm::Timer2);
        Check(fake::Ras().hangUps.size() == before + (match ? 1 : 0));
        break;
      }
    }
    const bool match =
        runtime.Text(form, ShapedForm::Text1) == runtime.Text(form, ShapedForm::lblTime);
    const int timer2 = form.TimerDelay(ShapedForm::Timer2);
    Check(match ? (timer2 == 0 || timer2 == 1) : timer2 == -1);
    const int timer1 = form.TimerDelay(ShapedForm::Timer1);
    Check(timer1 >= 1 && timer1 <= 1000);
  }
  return 0;
}
