// How often the forms' 1 ms timers really tick: in the runtime's own message
// loop, and in a modal loop of the system (as while the window is dragged),
// where a stand-in system timer drives them. Prints figures; asserts nothing
// about them.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/win32/win32_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

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

}  // namespace

int main() {
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
  return 0;
}
