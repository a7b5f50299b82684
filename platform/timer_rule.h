// How a backend re-arms a form's timers after each event the form handled.
#pragma once

#include "platform/forms.h"

namespace forms {

enum class TimerAction { Keep, Start, Stop };

// `delay` is the form's answer to TimerDelay (-1: no tick needed). A timer
// that just ticked takes the new delay; another one is only brought forward,
// never put back, so that a timer due now is not starved by its neighbours.
inline TimerAction RearmTimer(bool justTicked, int delay, bool active, int remaining) {
  if (justTicked) return delay >= 0 ? TimerAction::Start : TimerAction::Stop;
  if (delay >= 0 && (!active || delay < remaining)) return TimerAction::Start;
  return TimerAction::Keep;
}

// What a form wants of a timer, turned into the delay TimerDelay answers.
//
// A timer whose work changes only at each turn of the second (a clock): at
// its design `interval` while the window does not show the second `now` is
// in yet, else when the next second begins. The wait never exceeds a second
// and is computed afresh from the time of day, so a clock set by hand, by
// NTP or across a suspend is caught up within it.
inline int AtEachSecond(bool showsThisSecond, const TimeOfDay& now, int interval) {
  return showsThisSecond ? 1000 - now.millisecond % 1000 : interval;
}

// A timer with work only while `wanted`: every design `interval`, and at
// once after an event that made it wanted (`justTicked` false); else no
// tick at all, until an event makes it wanted.
inline int WhileWanted(bool wanted, bool justTicked, int interval) {
  if (!wanted) return -1;
  return justTicked ? interval : 0;
}

// The native timers of one loaded form, as the rule sees them.
class FormTimerSlots {
 public:
  virtual bool Active(int timer) = 0;
  // Whole milliseconds until it is due, rounded up; 0 once due.
  virtual int RemainingMs(int timer) = 0;
  virtual void Start(int timer, int delay, bool justTicked) = 0;
  virtual void Stop(int timer) = 0;
  // The form's answer for `timer`. A backend that notes what the form read
  // while it answered starts afresh here.
  virtual int AskDelay(Form& form, int timer) { return form.TimerDelay(timer); }

 protected:
  ~FormTimerSlots() = default;
};

// After any event `form` handled (`tickedTimer`: the timer whose tick it was,
// else -1): every timer of it is asked again, in design order, and re-armed
// by RearmTimer.
inline void RearmTimers(Form& form, int tickedTimer, FormTimerSlots& timers) {
  for (const ControlDesign& c : form.Design().controls) {
    if (c.kind != ControlKind::Timer) continue;
    const bool ticked = c.id == tickedTimer;
    const int delay = timers.AskDelay(form, c.id);
    switch (RearmTimer(ticked, delay, timers.Active(c.id), timers.RemainingMs(c.id))) {
      case TimerAction::Start:
        timers.Start(c.id, delay, ticked);
        break;
      case TimerAction::Stop:
        timers.Stop(c.id);
        break;
      case TimerAction::Keep:
        break;
    }
  }
}

// The time of day changed under the timers of `form` (a step of the clock, a
// new zone, new regional settings, a resume): a wait planned from the old
// time ends at the wrong instant, and the form's answers came from that
// time, so every active timer is due at once and the form is asked again.
inline void TimeChanged(Form& form, FormTimerSlots& timers) {
  for (const ControlDesign& c : form.Design().controls)
    if (c.kind == ControlKind::Timer && timers.Active(c.id)) timers.Start(c.id, 0, false);
  RearmTimers(form, -1, timers);
}

}  // namespace forms
