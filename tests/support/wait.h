// Waits for a condition with a generous time-out: no tight timing in tests.
#pragma once

#include <chrono>
#include <cstdlib>
#include <thread>

namespace fulgora_test {

template <typename F>
bool eventually(F condition, double seconds = 20.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A wall-clock bound of the component's own timing, stretched where the
// whole program runs under an emulator that is tens of times slower
// (FULGORA_TEST_TIME_SCALE, set by cmake/wine-run there); 1 elsewhere.
inline double timing_bound(double seconds) {
  const char* scale = std::getenv("FULGORA_TEST_TIME_SCALE");
  const double k = scale ? std::atof(scale) : 0.0;
  return seconds * (k > 1.0 ? k : 1.0);
}

}  // namespace fulgora_test
