// Waits for a condition with a generous time-out: no tight timing in tests.
#pragma once

#include <chrono>
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

}  // namespace fulgora_test
