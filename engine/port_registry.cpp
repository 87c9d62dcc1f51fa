#include "engine/port_registry.h"

#include <algorithm>
#include <new>
#include <vector>

#include "platform/serial_port.h"

namespace fulgora {
namespace {

// All of these are touched only under the lock.
std::vector<port_ticket*>& holders() {
  static std::vector<port_ticket*> list;
  return list;
}
std::vector<port_ticket*>& waiters() {
  static std::vector<port_ticket*> list;
  return list;
}
uint64_t last_order = 0;

void erase(std::vector<port_ticket*>& list, port_ticket* t) {
  list.erase(std::remove(list.begin(), list.end(), t), list.end());
}

void wake_waiters(const std::string& identity) {
  for (port_ticket* w : waiters())
    if (w->identity == identity) set_event(w->freed);
}

// Under the lock: the holder leaves; the waiters look again.
void leave_holders(port_ticket* t) {
  erase(holders(), t);
  t->held = false;
  t->step_aside_asked.store(false, std::memory_order_relaxed);
  wake_waiters(t->identity);
}

// Under the lock: whether waiter w keeps t out of the port. Playback (or an
// instance whose pace is not known yet) goes before a converter's; among
// the same, the newer.
bool goes_before(const port_ticket* w, const port_ticket* t) {
  const bool w_fast = w->pace.load(std::memory_order_relaxed) == port_ticket::pace_fast;
  const bool t_fast = t->pace.load(std::memory_order_relaxed) == port_ticket::pace_fast;
  if (w_fast != t_fast) return !w_fast;
  return w->order > t->order;
}

// Under the lock: records t as waiting; false when it cannot be recorded.
bool wait_in_line(port_ticket* t) {
  reset_event(t->freed);  // under the lock: a release after this sets it again
  if (t->waiting) return true;
  try {
    waiters().push_back(t);
  } catch (const std::bad_alloc&) {
    return false;  // unrecorded: a later claim tries again
  }
  t->waiting = true;
  return true;
}

}  // namespace

bool port_ticket::prepare(const wchar_t* port_name) {
  identity = port_identity(port_name);
  if (freed == nullptr) freed = create_event(false);
  if (freed == nullptr) return false;
  shared_records_lock lock;
  if (order == 0) order = ++last_order;
  return true;
}

bool port_ticket::claim() {
  if (freed == nullptr) return true;
  shared_records_lock lock;
  bool free = true;
  for (port_ticket* h : holders())
    if (h != this && h->identity == identity) {
      // One that has measured nothing yet gives way to a newer one, unless
      // it came in by waiting (a swap's new instance: playback).
      if (!h->measured && !h->took_over && h->order < order) h->step_aside_asked.store(true);
      free = false;
    }
  for (port_ticket* w : waiters())
    if (w != this && w->identity == identity && goes_before(w, this)) free = false;
  if (!free) {
    wait_in_line(this);
    return false;
  }
  if (!held) {
    try {
      holders().push_back(this);
    } catch (const std::bad_alloc&) {
      // Unrecorded, but free: open it as if there were no record.
    }
  }
  if (!held) took_over = waiting;
  held = true;
  if (waiting) erase(waiters(), this);
  waiting = false;
  return true;
}

void port_ticket::release() {
  if (freed == nullptr || !held) return;
  shared_records_lock lock;
  leave_holders(this);
}

void port_ticket::step_aside() {
  if (freed == nullptr || !held) return;
  shared_records_lock lock;
  leave_holders(this);
  wait_in_line(this);
  // The one it stepped aside for gave up meanwhile: look again at once.
  bool before = false;
  for (port_ticket* w : waiters())
    if (w != this && w->identity == identity && goes_before(w, this)) before = true;
  if (!before) set_event(freed);
}

bool port_ticket::note_pace(unsigned long long now_ms) {
  if (now_ms < next_judge_ms_) return false;
  next_judge_ms_ = now_ms + 100;
  const unsigned long long audio_ms = offered_us.load(std::memory_order_relaxed) / 1000;
  if (!paced_) {
    if (audio_ms == 0) return false;  // no chunk yet
    paced_ = true;
    window_start_ms_ = now_ms, window_audio_ms_ = audio_ms;
    return false;
  }
  const unsigned long long wall = now_ms - window_start_ms_;
  const unsigned long long audio = audio_ms - window_audio_ms_;
  const bool fast = audio > wall + converter_gain_ms;
  if (fast || wall >= pace_window_ms) {
    pace.store(fast ? pace_fast : pace_real_time, std::memory_order_relaxed);
    window_start_ms_ = now_ms, window_audio_ms_ = audio_ms;  // the next window
  }
  if (freed == nullptr || !held || pace.load(std::memory_order_relaxed) != pace_fast) return false;
  shared_records_lock lock;
  for (port_ticket* w : waiters())
    if (w->identity == identity && w->pace.load(std::memory_order_relaxed) == pace_real_time)
      return true;
  return false;
}

void port_ticket::note_measured() {
  if (measured || freed == nullptr || !held) return;
  shared_records_lock lock;
  // Asked already: the newer instance gets the port all the same.
  if (!step_aside_asked.load(std::memory_order_relaxed)) measured = true;
}

void port_ticket::withdraw() {
  if (freed == nullptr) return;
  release();
  {
    shared_records_lock lock;
    if (waiting) {
      erase(waiters(), this);
      wake_waiters(identity);  // an older waiter may be the newest now
    }
    waiting = false;
  }
  close_event(freed);
  freed = nullptr;
}

bool port_ticket::freed_since_claim() const { return freed != nullptr && test_event(freed); }

}  // namespace fulgora
