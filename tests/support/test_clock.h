// A millisecond clock for tests: it reads what the test set, and moves by
// step at every reading (step 0: only when the test moves it). Any thread.
#pragma once

#include <atomic>

#include "engine/reconnect.h"
#include "platform/clock.h"

namespace fulgora_test {

class test_clock final : public fulgora::ms_clock {
 public:
  explicit test_clock(unsigned long long step = 0) : step_(step) {}
  unsigned long long now_ms() const override { return now.fetch_add(step_) + step_; }

  mutable std::atomic<unsigned long long> now{0};

 private:
  const unsigned long long step_;
};

// A retry clock for an engine (its constructor) whose reconnect tries the
// port again at every turn of the worker, without real seconds passing.
inline const fulgora::ms_clock& retry_every_turn() {
  static const test_clock clock(fulgora::reconnect_interval_ms);
  return clock;
}

}  // namespace fulgora_test
