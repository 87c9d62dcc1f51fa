// The component's one monotonic clock, the high-resolution one, and the
// plain pause beside it. Any thread; neither allocates nor fails.
#pragma once

namespace fulgora {

// Seconds of a clock that only moves forward, from an arbitrary start, with
// a resolution of a microsecond or better.
double monotonic_seconds();

// The same clock in whole milliseconds.
unsigned long long monotonic_ms();

// Pauses the calling thread for about ms milliseconds.
void sleep_ms(unsigned ms);

// A clock in milliseconds handed to a part that times itself, so that a test
// can hand it one of its own. Any thread.
class ms_clock {
 public:
  virtual unsigned long long now_ms() const = 0;

 protected:
  ~ms_clock() = default;
};

// monotonic_ms behind that interface, one for the process.
inline const ms_clock& monotonic_clock() {
  struct monotonic final : ms_clock {
    unsigned long long now_ms() const override { return monotonic_ms(); }
  };
  static const monotonic clock;
  return clock;
}

}  // namespace fulgora
