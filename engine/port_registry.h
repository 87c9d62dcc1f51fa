// The ports that this process's engines hold. The player builds a new DSP
// chain while the old one still runs and releases the old one only after, and
// a port opens for one holder at a time: a new instance whose port another
// instance holds does not try to open it, but waits for that one to let go.
//
// Who gets a port that is let go: the newest instance that wants it (in a
// chain swap the new chain's instance is always the newest). An older
// waiter, or one of another chain (a converter's), never takes it ahead of a
// newer one. A holder keeps its port against newer instances once it has
// measured audio; one that has not (the first of two copies in one chain,
// built just before the second) steps aside for the newer one.
//
// Threads: the creating and releasing threads and the workers, under the
// process-wide lock of platform/threads.h; never the audio thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/threads.h"

namespace fulgora {

struct port_ticket {
  port_ticket() = default;
  port_ticket(const port_ticket&) = delete;
  port_ticket& operator=(const port_ticket&) = delete;
  ~port_ticket() { withdraw(); }

  // Creating thread, before claim. False when the wake-up event cannot be
  // made; the ticket then claims every time (the open decides, as without it).
  bool prepare(const wchar_t* port_name);
  // True when no other engine of this process holds the port and no newer
  // one waits for it: this engine now does and may open it. Otherwise
  // records this engine as waiting and resets `freed`, which is set when the
  // port is let go or a newer waiter gives up.
  bool claim();
  // The port is closed: the newest waiter may take it.
  void release();
  // No longer waits (the engine stops).
  void withdraw();
  // The worker's zero-time-out test: a holder has let go since claim.
  bool freed_since_claim() const;
  // Worker, the first time it measures audio while holding the port: from
  // now on the port stays with it until it lets go.
  void note_measured();
  // Worker: a newer instance wants the port and this one has measured
  // nothing yet; step_aside then releases it and waits again.
  bool asked_to_step_aside() const { return step_aside_asked.load(std::memory_order_acquire); }
  void step_aside();

  std::string identity;
  event_handle freed = nullptr;
  bool held = false;
  bool waiting = false;
  bool measured = false;  // audio measured while holding; written under the lock
  uint64_t order = 0;     // creation order among the process's tickets
  std::atomic<bool> step_aside_asked{false};
};

}  // namespace fulgora
