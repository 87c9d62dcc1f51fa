#include "engine/port_registry.h"

#include <algorithm>
#include <new>
#include <vector>

#include "platform/serial_port.h"

namespace fulgora {
namespace {

// Both lists are touched only under the lock.
std::vector<port_ticket*>& holders() {
  static std::vector<port_ticket*> list;
  return list;
}
std::vector<port_ticket*>& waiters() {
  static std::vector<port_ticket*> list;
  return list;
}

void erase(std::vector<port_ticket*>& list, port_ticket* t) {
  list.erase(std::remove(list.begin(), list.end(), t), list.end());
}

}  // namespace

bool port_ticket::prepare(const wchar_t* port_name) {
  identity = port_identity(port_name);
  if (freed == nullptr) freed = create_event(false);
  return freed != nullptr;
}

bool port_ticket::claim() {
  if (freed == nullptr) return true;
  shared_records_lock lock;
  for (port_ticket* h : holders())
    if (h != this && h->identity == identity) {
      reset_event(freed);  // under the lock: a release after this sets it again
      if (!waiting) {
        try {
          waiters().push_back(this);
        } catch (const std::bad_alloc&) {
          return false;  // unrecorded: a later claim tries again
        }
        waiting = true;
      }
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
  erase(holders(), this);
  held = false;
  for (port_ticket* w : waiters())
    if (w->identity == identity) set_event(w->freed);
}

void port_ticket::withdraw() {
  if (freed == nullptr) return;
  release();
  {
    shared_records_lock lock;
    if (waiting) erase(waiters(), this);
    waiting = false;
  }
  close_event(freed);
  freed = nullptr;
}

bool port_ticket::freed_since_claim() const { return freed != nullptr && test_event(freed); }

}  // namespace fulgora
