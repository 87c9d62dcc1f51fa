// The seventeen tuning values of the settings file, named after their keys,
// with the in-memory defaults an engine runs on when they fail to load (the
// file's own default strings stand beside each key in settings_record.cpp).
// Written while the engine is built; afterwards only by the worker, between
// two of its turns, when a saved change is applied (LIVE=1), so the worker
// reads them every turn without a lock.
#pragma once

#include <cstdint>

#include "analysis/shaping.h"

namespace fulgora {

struct led_settings {
  int32_t LOW_LEDTYPE = 0;
  int32_t MID_LEDTYPE = 1;
  int32_t HI_LEDTYPE = 2;
  double LOW_FREQ = 800.0;
  double MID_FREQ = 3000.0;
  double HI_FREQ = 22050.0;
  double LOW_RATIO = 0.8;
  double MID_RATIO = 0.9;
  double HI_RATIO = 1.0;
  float LOW_GANMA = 1.0f;
  float MID_GANMA = 0.6f;
  float HI_GANMA = 0.5f;
  double LOW_ENHANCE = 0.5;
  double MID_ENHANCE = 0.3;
  double HI_ENHANCE = 0.3;
  bool ENABLE_ENHANCER = true;
  int32_t ENHANCER_MEAN_COUNT = 8;
};

// The shaping step's view of the settings.
shaping_params shaping_of(const led_settings& s);

}  // namespace fulgora
