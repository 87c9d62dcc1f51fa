// The transport's pause between turns with nothing to do: the platform's
// timed wait, which sleeps on every system (the MinGW build's
// std::this_thread::sleep_for of under a millisecond returns at once and
// spins a core).
#pragma once

#include "platform/timed_wait.h"

namespace fulgora_play {

class idle_wait {
 public:
  idle_wait() : handle_(fulgora::create_timed_wait()) {}
  ~idle_wait() {
    if (handle_) fulgora::close_timed_wait(handle_);
  }
  idle_wait(const idle_wait&) = delete;
  idle_wait& operator=(const idle_wait&) = delete;
  // Sleeps about seconds; returns at once only when no wait could be made.
  void wait(double seconds) {
    if (handle_) fulgora::wait_for(handle_, seconds);
  }

 private:
  fulgora::timed_wait_handle handle_;
};

}  // namespace fulgora_play
