#include "platform/win32/form_timers.h"

#include <algorithm>

namespace win32 {

namespace {

std::int64_t CeilMs(Clock::duration d) {
  return std::chrono::ceil<std::chrono::milliseconds>(d).count();
}

}  // namespace

std::vector<int> FormTimers::Ids() const {
  std::vector<int> ids;
  for (const Slot& s : slots_) ids.push_back(s.id);
  return ids;
}

FormTimers::Slot* FormTimers::Find(int id) {
  for (Slot& s : slots_)
    if (s.id == id) return &s;
  return nullptr;
}

const FormTimers::Slot* FormTimers::Find(int id) const {
  return const_cast<FormTimers*>(this)->Find(id);
}

bool FormTimers::Active(int id) const {
  const Slot* s = Find(id);
  return s && s->active;
}

int FormTimers::RemainingMs(int id, Clock::time_point now) const {
  const Slot* s = Find(id);
  if (!s || !s->active || s->due <= now) return 0;
  return static_cast<int>(std::min<std::int64_t>(CeilMs(s->due - now), INT32_MAX));
}

void FormTimers::Start(int id, int delayMs, Clock::time_point now) {
  if (Slot* s = Find(id)) {
    s->active = true;
    s->due = now + std::chrono::milliseconds(std::max(delayMs, 0));
  }
}

void FormTimers::Stop(int id) {
  if (Slot* s = Find(id)) s->active = false;
}

void FormTimers::StopAll() {
  for (Slot& s : slots_) s.active = false;
}

int FormTimers::TakeDue(Clock::time_point now) {
  Slot* earliest = nullptr;
  for (Slot& s : slots_) {
    if (s.active && s.due <= now && (!earliest || s.due < earliest->due)) earliest = &s;
  }
  if (!earliest) return -1;
  earliest->active = false;
  return earliest->id;
}

bool FormTimers::NextDue(Clock::time_point& due) const {
  bool any = false;
  for (const Slot& s : slots_) {
    if (s.active && (!any || s.due < due)) {
      due = s.due;
      any = true;
    }
  }
  return any;
}

std::uint32_t WaitMilliseconds(Clock::time_point due, Clock::time_point now, std::uint32_t cap) {
  if (due <= now) return 0;
  const std::int64_t ms = CeilMs(due - now);
  return ms >= static_cast<std::int64_t>(cap) ? cap : static_cast<std::uint32_t>(ms);
}

}  // namespace win32
