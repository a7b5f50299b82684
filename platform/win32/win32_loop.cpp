// The message loop: it runs the forms' timers between messages (and in the
// system's modal loops, through a WM_TIMER), raises the system timer's rate
// only when a timer is due soon, and re-arms the timers after each event.
#include <algorithm>
#include <utility>

#include "platform/timer_rule.h"
#include "platform/win32/win32_form_window.h"
// After <windows.h>, which the line above brings.
#include <mmsystem.h>

namespace win32 {

namespace {

// A form's timers as the re-arming rule sees them, every delay counted from
// one instant: the end of the event.
class Slots : public forms::FormTimerSlots {
 public:
  Slots(FormTimers& timers, Clock::time_point now) : timers_(timers), now_(now) {}
  bool Active(int timer) override { return timers_.Active(timer); }
  int RemainingMs(int timer) override { return timers_.RemainingMs(timer, now_); }
  void Start(int timer, int delay, bool) override { timers_.Start(timer, delay, now_); }
  void Stop(int timer) override { timers_.Stop(timer); }

 private:
  FormTimers& timers_;
  const Clock::time_point now_;
};

}  // namespace

void Runtime::AfterEvent(FormWindow& w, int tickedTimer) {
  if (ending_) return;
  Slots timers(w.timers, time_->Monotonic());
  forms::RearmTimers(w.form, tickedTimer, timers);
  if (modalWindow_) ArmModalTimer();
}

void Runtime::RunDueTimers() {
  // A few rounds at most, so that a timer re-armed at once cannot hold the
  // messages back.
  for (int round = 0; round < 8 && !ending_; ++round) {
    bool ran = false;
    const Clock::time_point now = time_->Monotonic();
    for (std::size_t i = 0; i < windows_.size() && !ending_; ++i) {
      FormWindow& w = *windows_[i];
      const int id = w.timers.TakeDue(now);
      if (id < 0) continue;
      ran = true;
      w.form.Timer(id);
      AfterEvent(w, id);
    }
    if (!ran) break;
  }
}

bool Runtime::NextDue(Clock::time_point& due) const {
  bool any = false;
  for (const auto& w : windows_) {
    Clock::time_point d;
    if (w->timers.NextDue(d) && (!any || d < due)) {
      due = d;
      any = true;
    }
  }
  return any;
}

void Runtime::ArmModalTimer() {
  Clock::time_point due;
  if (ending_ || !NextDue(due)) {
    KillTimer(modalWindow_, kModalTimerId);
    return;
  }
  // The system clamps the interval to its minimum (about 10 ms).
  const Clock::time_point now = time_->Monotonic();
  PreciseTimer(due - now <= kPreciseLead);
  const UINT wait = WaitMilliseconds(due, now, 1000);
  SetTimer(modalWindow_, kModalTimerId, std::max<UINT>(wait, USER_TIMER_MINIMUM), nullptr);
}

// -------------------------------------------------------------- message loop

int Runtime::Run() {
  Pump(nullptr, Clock::time_point::max());
  DestroyAll();
  PreciseTimer(false);
  // The windows are gone: a wait here (for hang-ups to settle) leaves
  // nothing on the screen that does not answer.
  if (beforeEnd_) std::exchange(beforeEnd_, nullptr)();
  return exitCode_;
}

bool Runtime::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  Pump(&done, time_->Monotonic() + timeout);
  return done();
}

bool Runtime::Pump(const std::function<bool()>* done, Clock::time_point deadline) {
  MSG msg;
  for (;;) {
    if (quitSeen_) return false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        exitCode_ = static_cast<int>(msg.wParam);
        quitSeen_ = true;
        return false;
      }
      Dispatch(msg);
      RunDueTimers();
    }
    unloaded_.clear();
    RunDueTimers();
    if (done && (*done)()) return true;
    const Clock::time_point now = time_->Monotonic();
    if (now >= deadline) return false;
    Clock::time_point due = deadline;
    const bool timer = NextDue(due) && due <= deadline;
    due = std::min(due, deadline);
    DWORD wait = INFINITE;
    if (due != Clock::time_point::max()) {
      const bool soon = due - now <= kPreciseLead;
      PreciseTimer(timer && soon);
      wait = WaitMilliseconds(timer && !soon ? due - kPreciseLead : due, now, 60000);
    } else {
      PreciseTimer(false);
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void Runtime::PreciseTimer(bool precise) {
  if (precise == precise_) return;
  precise_ = precise;
  const Clock::time_point now = time_->Monotonic();
  if (precise) {
    timeBeginPeriod(1);
    ++period_.raised;
    preciseSince_ = now;
  } else {
    timeEndPeriod(1);
    period_.held += now - preciseSince_;
  }
}

TimerPeriodStats Runtime::TimerPeriod() const {
  TimerPeriodStats stats = period_;
  if (precise_) stats.held += time_->Monotonic() - preciseSince_;
  return stats;
}

void Runtime::TimeChanged() {
  if (ending_) return;
  const Clock::time_point now = time_->Monotonic();
  for (const auto& w : windows_) {
    Slots timers(w->timers, now);
    forms::TimeChanged(w->form, timers);
  }
  if (modalWindow_) ArmModalTimer();
}

void Runtime::Dispatch(MSG& msg) {
  // The dialog manager gives the forms Tab, the arrow keys, Space, Enter and
  // the Alt access keys. Plain characters go straight to the control: an
  // access key without Alt would otherwise press a button.
  if (msg.hwnd && msg.message != WM_CHAR) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (ByHandle(root) && IsDialogMessageA(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

void Runtime::DestroyAll() {
  ending_ = true;
  std::vector<HWND> handles;
  for (const auto& w : windows_) handles.push_back(w->window);
  for (HWND window : handles) DestroyWindow(window);  // WM_NCDESTROY takes it off the list
  windows_.clear();
  unloaded_.clear();
}

}  // namespace win32
