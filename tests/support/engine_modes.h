// The driver an engine was built with, seen from a test: null when it runs
// the other one (or none).
#pragma once

#include <vector>

#include "engine/default/default_mode.h"
#include "engine/led_engine.h"
#include "engine/sync/sync_mode.h"

namespace fulgora_test {

inline const fulgora::sync_mode* sync_of(const fulgora::led_engine& e) {
  return dynamic_cast<const fulgora::sync_mode*>(e.driver_in_use());
}

inline const fulgora::default_mode* default_of(const fulgora::led_engine& e) {
  return dynamic_cast<const fulgora::default_mode*>(e.driver_in_use());
}

// The player runs the chain: a first chunk (silence) passes the DSP.
inline void runs(fulgora::led_engine& e) {
  const std::vector<audio_sample> silence(2 * 64, 0.0f);
  e.offer_chunk(audio_chunk_impl(silence.data(), 64, 2, 44100));
}

}  // namespace fulgora_test
