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

}  // namespace fulgora
