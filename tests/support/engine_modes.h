// The driver an engine was built with, seen from a test: null when it runs
// the other one (or none).
#pragma once

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

}  // namespace fulgora_test
