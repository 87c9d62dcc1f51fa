// Turns the three band levels into routed brightness bytes: enhancer against
// the history's mean, gain, gamma, 0..255 with a ceiling. Worker thread only;
// allocates nothing.
#pragma once

#include <cstdint>

#include "analysis/level_history.h"

namespace fulgora {

struct band_shape {
  double enhance = 0.0;  // enhancer strength
  double ratio = 1.0;    // gain
  float gamma = 1.0f;    // the level is raised to 1/gamma
  int32_t channel = 0;   // LED channel 0..2; anything else routes nowhere
};

struct shaping_params {
  band_shape low, mid, high;
  bool enhancer = false;
};

// One band's byte from its (enhanced) level.
uint8_t shape_band(double level, double ratio, float gamma);

// Shapes and routes the levels into channels[0..2]; channels that no band
// names keep their value. Reads history only with the enhancer on, and feeds
// it then unless feed is false (windows that overlap the last one fed).
void shape_levels(const band_levels& levels, const shaping_params& params, level_history& history,
                  uint8_t channels[3], bool feed = true);

}  // namespace fulgora
