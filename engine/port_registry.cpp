#include "engine/port_registry.h"

#include <algorithm>
#include <new>
#include <vector>

#include "platform/serial_port.h"

namespace fulgora {

// All of these are touched only under the lock.
struct port_ticket::registry {
  static std::vector<port_ticket*>& holders() {
    static std::vector<port_ticket*> list;
    return list;
  }
  static std::vector<port_ticket*>& waiters() {
    static std::vector<port_ticket*> list;
    return list;
  }
  static uint64_t last_order;

  static void erase(std::vector<port_ticket*>& list, port_ticket* t) {
    list.erase(std::remove(list.begin(), list.end(), t), list.end());
  }

  static void wake_waiters(const std::string& identity) {
    for (port_ticket* w : waiters())
      if (w->identity_ == identity) set_event(w->freed_);
  }

  // The holder leaves; the waiters look again.
  static void leave_holders(port_ticket* t) {
    erase(holders(), t);
    t->held_.store(false, std::memory_order_relaxed);
    t->step_aside_asked_.store(false, std::memory_order_relaxed);
    wake_waiters(t->identity_);
  }

  // Whether waiter w keeps t out of the port. Playback (or an instance whose
  // pace is not known yet) goes before a converter's; among the same, the
  // newer.
  static bool goes_before(const port_ticket* w, const port_ticket* t) {
    const bool w_fast = w->pace_.load(std::memory_order_relaxed) == pace_fast;
    const bool t_fast = t->pace_.load(std::memory_order_relaxed) == pace_fast;
    if (w_fast != t_fast) return !w_fast;
    return w->order_ > t->order_;
  }

  // Whether a waiter for t's port goes before t.
  static bool waiter_before(const port_ticket* t) {
    for (port_ticket* w : waiters())
      if (w != t && w->identity_ == t->identity_ && goes_before(w, t)) return true;
    return false;
  }

  // Records t as waiting; false when it cannot be recorded.
  static bool wait_in_line(port_ticket* t) {
    reset_event(t->freed_);  // under the lock: a release after this sets it again
    if (t->waiting()) return true;
    try {
      waiters().push_back(t);
    } catch (const std::bad_alloc&) {
      return false;  // unrecorded: a later claim tries again
    }
    t->waiting_.store(true, std::memory_order_relaxed);
    return true;
  }
};

uint64_t port_ticket::registry::last_order = 0;

bool port_ticket::prepare(const wchar_t* port_name) {
  identity_ = port_identity(port_name);
  if (freed_ == nullptr) freed_ = create_event(false);
  if (freed_ == nullptr) return false;
  shared_records_lock lock;
  if (order_ == 0) order_ = ++registry::last_order;
  return true;
}

bool port_ticket::claim() {
  if (freed_ == nullptr) return true;
  shared_records_lock lock;
  bool free = true;
  for (port_ticket* h : registry::holders())
    if (h != this && h->identity_ == identity_) {
      // One that has measured nothing yet gives way to a newer one, unless
      // it came in by waiting (a swap's new instance: playback).
      if (!h->measured() && !h->took_over_ && h->order_ < order_) h->step_aside_asked_.store(true);
      free = false;
    }
  if (registry::waiter_before(this)) free = false;
  if (!free) {
    registry::wait_in_line(this);
    return false;
  }
  if (!held()) {
    try {
      registry::holders().push_back(this);
    } catch (const std::bad_alloc&) {
      // Unrecorded, but free: open it as if there were no record.
    }
  }
  if (!held()) took_over_ = waiting();
  held_.store(true, std::memory_order_relaxed);
  if (waiting()) registry::erase(registry::waiters(), this);
  waiting_.store(false, std::memory_order_relaxed);
  return true;
}

void port_ticket::release() {
  if (freed_ == nullptr || !held()) return;
  shared_records_lock lock;
  registry::leave_holders(this);
}

void port_ticket::step_aside() {
  if (freed_ == nullptr || !held()) return;
  shared_records_lock lock;
  registry::leave_holders(this);
  registry::wait_in_line(this);
  // The one it stepped aside for gave up meanwhile: look again at once.
  if (!registry::waiter_before(this)) set_event(freed_);
}

bool port_ticket::note_pace(unsigned long long now_ms) {
  if (now_ms < next_judge_ms_) return false;
  next_judge_ms_ = now_ms + 100;
  const unsigned long long audio_ms = offered_us_.load(std::memory_order_relaxed) / 1000;
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
    pace_.store(fast ? pace_fast : pace_real_time, std::memory_order_relaxed);
    window_start_ms_ = now_ms, window_audio_ms_ = audio_ms;  // the next window
  }
  if (freed_ == nullptr || !held() || pace_.load(std::memory_order_relaxed) != pace_fast)
    return false;
  shared_records_lock lock;
  for (port_ticket* w : registry::waiters())
    if (w->identity_ == identity_ && w->pace_.load(std::memory_order_relaxed) == pace_real_time)
      return true;
  return false;
}

void port_ticket::note_measured() {
  if (measured() || freed_ == nullptr || !held()) return;
  shared_records_lock lock;
  // Asked already: the newer instance gets the port all the same.
  if (!step_aside_asked_.load(std::memory_order_relaxed))
    measured_.store(true, std::memory_order_relaxed);
}

void port_ticket::withdraw() {
  if (freed_ == nullptr) return;
  release();
  {
    shared_records_lock lock;
    if (waiting()) {
      registry::erase(registry::waiters(), this);
      registry::wake_waiters(identity_);  // an older waiter may be the newest now
    }
    waiting_.store(false, std::memory_order_relaxed);
  }
  close_event(freed_);
  freed_ = nullptr;
}

bool port_ticket::freed_since_claim() const { return freed_ != nullptr && test_event(freed_); }

}  // namespace fulgora
