// The ports that this process's engines hold. The player builds a new DSP
// chain while the old one still runs and releases the old one only after, and
// a port opens for one holder at a time: a new instance whose port another
// instance holds does not try to open it, but waits for that one to let go.
//
// Threads: the creating and releasing threads and the workers, under the
// process-wide lock of platform/threads.h; never the audio thread.
#pragma once

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
  // True when no other engine of this process holds the port: this engine
  // now does and may open it. Otherwise records this engine as waiting and
  // resets `freed`, which the holder sets when it lets go.
  bool claim();
  // The port is closed: the next waiter may take it.
  void release();
  // No longer waits (the engine stops).
  void withdraw();
  // The worker's zero-time-out test: a holder has let go since claim.
  bool freed_since_claim() const;

  std::string identity;
  event_handle freed = nullptr;
  bool held = false;
  bool waiting = false;
};

}  // namespace fulgora
