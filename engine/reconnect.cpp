#include "engine/reconnect.h"

namespace fulgora {

bool link_recovery::link_ready(serial_link& link, port_ticket& port, const wchar_t* port_name) {
  if (!enabled || link.is_open()) return true;
  const unsigned long long now = clock_->now_ms();
  if (now < next_try_ms) return false;
  next_try_ms = now + reconnect_interval_ms;
  if (!port.claim()) return false;
  if (link.reopen(port_name, !quiet)) {
    open_unsaid = quiet;
    return true;
  }
  port.release();
  return false;
}

void link_recovery::after_command(serial_link& link, port_ticket& port) {
  if (!enabled || !link.is_open()) return;
  if (!link.failed) {
    if (open_unsaid) say_line(link.say, "successful com open.");
    quiet = open_unsaid = false;
    return;
  }
  link.close_port(!quiet);
  quiet = quiet || link.stuck;
  open_unsaid = false;
  port.release();
  next_try_ms = clock_->now_ms() + reconnect_interval_ms;
}

}  // namespace fulgora
