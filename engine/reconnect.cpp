#include "engine/reconnect.h"

namespace fulgora {

bool link_recovery::link_ready(serial_link& link, port_ticket& port, const wchar_t* port_name) {
  if (!enabled_ || link.is_open()) return true;
  const unsigned long long now = clock_->now_ms();
  if (now < next_try_ms_) return false;
  next_try_ms_ = now + reconnect_interval_ms;
  if (!port.claim()) return false;
  if (link.reopen(port_name, !quiet_)) {
    open_unsaid_ = quiet_;
    return true;
  }
  port.release();
  return false;
}

void link_recovery::after_command(serial_link& link, port_ticket& port) {
  if (!enabled_ || !link.is_open()) return;
  if (!link.failed()) {
    if (open_unsaid_) say_line(link.sink(), "successful com open.");
    quiet_ = open_unsaid_ = false;
    return;
  }
  link.close_port(!quiet_);
  quiet_ = quiet_ || link.stuck();
  open_unsaid_ = false;
  port.release();
  next_try_ms_ = clock_->now_ms() + reconnect_interval_ms;
}

}  // namespace fulgora
