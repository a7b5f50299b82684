// How often the forms' 1 ms timers really tick: in the runtime's own message
// loop, and in a modal loop of the system (as while the window is dragged),
// where a stand-in system timer drives them; then the main window left idle:
// how long the system timer is held at 1 ms, and how late in each second the
// clock label turns. Prints figures; asserts nothing about them.
//
//   timer_benchmark [IDLE_SECONDS]   (10 by default)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "main_window/shaped_form.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_window_system.h"

namespace {

using Clock = win32::Clock;

constexpr forms::ControlDesign kControls[] = {
    {.id = 1, .name = "Tick", .kind = forms::ControlKind::Timer, .interval = 1},
};
const forms::FormDesign kDesign = {
    .name = "TimerBenchmark",
    .caption = "Timer benchmark",
    .borderStyle = forms::BorderStyle::None,
    .backColor = forms::kDefaultColor,
    .clientWidth = 1500,
    .clientHeight = 1500,
    .startUpPosition = forms::StartUpPosition::Manual,
    .controls = kControls,
};

class TickingForm : public forms::Form {
 public:
  const forms::FormDesign& Design() const override { return kDesign; }
  void Timer(int) override { ticks.push_back(Clock::now()); }
  std::vector<Clock::time_point> ticks;
};

void Report(const char* where, const std::vector<Clock::time_point>& ticks, double seconds) {
  std::vector<double> gaps;
  for (std::size_t i = 1; i < ticks.size(); ++i)
    gaps.push_back(std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count());
  if (gaps.empty()) {
    std::printf("%-34s no ticks\n", where);
    return;
  }
  std::sort(gaps.begin(), gaps.end());
  auto at = [&](double q) { return gaps[static_cast<std::size_t>(q * (gaps.size() - 1))]; };
  double sum = 0;
  for (double g : gaps) sum += g;
  std::printf(
      "%-34s %6zu ticks in %.1f s: interval ms mean %.3f, median %.3f, p90 %.3f, p99 %.3f, max "
      "%.3f\n",
      where, ticks.size(), seconds, sum / gaps.size(), at(0.5), at(0.9), at(0.99), gaps.back());
}

class Address : public platform::AddressSource {
 public:
  std::string LocalIP() override { return "127.0.0.1"; }
};

// The main window, noting how far into its second the clock label turned.
class WatchedForm : public main_window::ShapedForm {
 public:
  WatchedForm(win32::Runtime& runtime, platform::WindowSystem& windows,
              platform::AddressSource& address)
      : ShapedForm(runtime, windows, address), runtime_(runtime) {}
  void Timer(int control) override {
    const std::string before = runtime_.Text(*this, lblTime);
    ShapedForm::Timer(control);
    if (control != Timer1 || runtime_.Text(*this, lblTime) == before) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    lateMs.push_back(t.wMilliseconds);
  }
  std::vector<int> lateMs;

 private:
  win32::Runtime& runtime_;
};

void IdleClock(double seconds) {
  win32::Runtime runtime(GetModuleHandleA(nullptr));
  win32::WindowSystem windowSystem;
  Address address;
  WatchedForm form(runtime, windowSystem, address);
  runtime.Show(form);
  const win32::TimerPeriodStats start = runtime.TimerPeriod();
  runtime.RunUntil([] { return false; },
                   std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
  const win32::TimerPeriodStats end = runtime.TimerPeriod();
  const double perMinute = 60.0 / seconds;
  const double heldMs =
      std::chrono::duration<double, std::milli>(end.held - start.held).count() * perMinute;
  std::printf(
      "%-34s 1 ms timer period raised %.1f times a minute, held %.0f ms a minute (%.2f %%)\n",
      "idle main window", (end.raised - start.raised) * perMinute, heldMs, heldMs / 600.0);
  std::vector<int> late = form.lateMs;
  if (late.size() > 1) late.erase(late.begin());  // the first turn is the start's
  std::sort(late.begin(), late.end());
  if (late.empty()) return;
  auto at = [&](double q) { return late[static_cast<std::size_t>(q * (late.size() - 1))]; };
  std::printf("%-34s %zu turns: label set ms into the second: median %d, p90 %d, max %d\n",
              "idle main window, clock", late.size(), at(0.5), at(0.9), late.back());
}

}  // namespace

void Ticks() {
  win32::Runtime runtime(GetModuleHandleA(nullptr));
  TickingForm form;
  runtime.Show(form);
  HWND window = runtime.LoadedWindow(form);

  runtime.RunUntil([] { return false; }, std::chrono::milliseconds(2000));
  Report("own message loop (1 ms timer)", form.ticks, 2.0);

  form.ticks.clear();
  SendMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
  const UINT_PTR end = SetTimer(nullptr, 0, 2000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == end) break;
    DispatchMessageA(&msg);
  }
  KillTimer(nullptr, end);
  SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
  Report("modal loop (system timer stand-in)", form.ticks, 2.0);
}

int main(int argc, char** argv) {
  const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  Ticks();
  if (idleSeconds > 0) IdleClock(idleSeconds);
  return 0;
}
