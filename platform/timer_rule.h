// How a backend re-arms a form's timers after each event the form handled.
#pragma once

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

}  // namespace forms
