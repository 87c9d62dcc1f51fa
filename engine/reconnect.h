// The opt-in reconnect (settings key RECONNECT=1): when a level command's
// write or status query fails, the link is closed and the worker goes on
// measuring without sending, trying the same port again about every
// reconnect_interval_ms until it opens. A port that did not open when the
// engine started is tried the same way.
//
// Threads: built with the engine, by its creating thread, before its worker
// can run a turn; afterwards only the worker calls it, inside its turns, and
// it reads the clock it was given there only.
#pragma once

#include "engine/port_registry.h"
#include "platform/clock.h"
#include "serial/serial_link.h"

namespace fulgora {

constexpr unsigned long long reconnect_interval_ms = 2000;

class link_recovery {
 public:
  // on: RECONNECT=1. clock times the retries (a test hands in its own).
  explicit link_recovery(bool on = false, const ms_clock& clock = monotonic_clock())
      : enabled_(on), clock_(&clock) {}
  link_recovery(const link_recovery&) = delete;
  link_recovery& operator=(const link_recovery&) = delete;

  bool enabled() const { return enabled_; }
  // Before a command: false while the link is down and port_name could not
  // be reopened (tried at most once per interval, failures silent). A port
  // that another instance of this process holds now is left to it.
  bool link_ready(serial_link& link, port_ticket& port, const wchar_t* port_name);
  // After a command: a failed write or status query closes the link and
  // lets another instance that waits for the port have it.
  void after_command(serial_link& link, port_ticket& port);

 private:
  const bool enabled_;
  const ms_clock* const clock_;
  unsigned long long next_try_ms_ = 0;
  // The line was found stuck: later reopens and closes of it are silent, and
  // the open line is said once a command goes through again.
  bool quiet_ = false;
  bool open_unsaid_ = false;
};

}  // namespace fulgora
