// The clock and schedule under any times, typed texts, separators and ticks: Timer2 hangs up
// exactly when the typed text is the clock text, and the timers' plan never skips such a tick.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "main_window/shaped_form.h"
#include "platform/fake/fake_forms.h"
#include "platform/fake/fake_ras.h"
#include "schedule/clock.h"

using main_window::ShapedForm;

// A property that fails aborts, so that libFuzzer keeps the input.
static void Check(bool condition) {
  if (!condition) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  fake::Ras() = {{{fake::Handle(1), "Modem"}}, {}};
  fake::Runtime runtime;
  fake::WindowSystem windows;
  fake::AddressSource winsock;
  ShapedForm form(runtime, windows, winsock);
  runtime.Show(form);
  using enum ShapedForm::Control;
  const auto text = [&](ShapedForm::Control control) { return runtime.Text(form, control); };

  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    const std::string shown = text(lblTime);
    const std::size_t hangUps = fake::Ras().hangUps.size();
    switch (in.ConsumeIntegralInRange(0, 4)) {
      case 0:
        runtime.now = {in.ConsumeIntegralInRange(0, 23), in.ConsumeIntegralInRange(0, 59),
                       in.ConsumeIntegralInRange(0, 59), in.ConsumeIntegralInRange(0, 999)};
        break;
      case 1: {
        std::string typed = in.ConsumeBool() ? shown : in.ConsumeRandomLengthString(4096);
        if (!typed.empty() && in.ConsumeBool()) {
          typed[in.ConsumeIntegralInRange<std::size_t>(0, typed.size() - 1)] ^=
              static_cast<char>(in.ConsumeIntegralInRange(1, 255));
        }
        runtime.Type(form, Text1, typed);
        break;
      }
      case 2:
        runtime.separator = in.ConsumeBool() ? "." : in.ConsumeRandomLengthString(4);
        break;
      case 3:
        form.Timer(Timer1);
        Check(text(lblTime) == schedule::FormatClockText(runtime.now.hour, runtime.now.minute,
                                                         runtime.now.second, runtime.separator));
        break;
      default: {
        const bool match = text(Text1) == shown;
        form.Timer(Timer2);
        Check(fake::Ras().hangUps.size() == hangUps + match);
      }
    }
    const int timer2 = form.TimerDelay(Timer2), timer1 = form.TimerDelay(Timer1);
    Check(text(Text1) == text(lblTime) ? (timer2 == 0 || timer2 == 1) : timer2 == -1);
    Check(timer1 >= 1 && timer1 <= 1000);
  }
  return 0;
}
