// The driver an engine was built with, seen from a test: null when it runs
// the other one (or none).
#pragma once

#include <vector>

#include "engine/default/default_mode.h"
#include "engine/led_engine.h"
#include "engine/sync/sync_mode.h"

namespace fulgora_test {

inline fulgora::sync_mode* sync_of(fulgora::led_engine& e) {
  return dynamic_cast<fulgora::sync_mode*>(e.driver.get());
}

inline fulgora::default_mode* default_of(fulgora::led_engine& e) {
  return dynamic_cast<fulgora::default_mode*>(e.driver.get());
}

// The player runs the chain: a first chunk (silence) passes the DSP.
inline void runs(fulgora::led_engine& e) {
  const std::vector<audio_sample> silence(2 * 64, 0.0f);
  e.offer_chunk(audio_chunk_impl(silence.data(), 64, 2, 44100));
}

}  // namespace fulgora_test
