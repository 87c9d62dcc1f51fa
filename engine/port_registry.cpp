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
      // One that has measured nothing yet gives way to a newer one.
      if (!h->measured && h->order < order) h->step_aside_asked.store(true);
      free = false;
    }
  for (port_ticket* w : waiters())
    if (w != this && w->identity == identity && w->order > order) free = false;
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
  // The newer one gave up meanwhile: look again at once.
  bool newer = false;
  for (port_ticket* w : waiters())
    if (w != this && w->identity == identity && w->order > order) newer = true;
  if (!newer) set_event(freed);
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
