#include "analysis/shaping.h"

#include <cmath>

namespace fulgora {

uint8_t shape_band(double level, double ratio, float gamma) {
  const double v = ratio * level;
  // Fixed single-precision points, kept as separate statements so that no
  // compiler folds or widens them.
  float t = static_cast<float>(v);
  t = t * 255.0f;
  t = t / 255.0f;
  const float inverse = 1.0f / gamma;
  const double p = std::pow(static_cast<double>(t), static_cast<double>(inverse));
  float s = static_cast<float>(p);
  s = s * 255.0f;
  if (s > 255.0f) return 255;
  // NaN, and anything below zero, is dark: a negative value must never wrap
  // to a bright byte.
  if (!(s >= 0.0f)) return 0;
  return static_cast<uint8_t>(s);
}

void shape_levels(const band_levels& levels, const shaping_params& params, level_history& history,
                  uint8_t channels[3], bool feed) {
  band_levels x = levels;
  if (params.enhancer) {
    const band_levels m = history.mean();
    if (feed) history.push(levels);
    x.low += (x.low - m.low) * params.low.enhance;
    x.mid += (x.mid - m.mid) * params.mid.enhance;
    x.high += (x.high - m.high) * params.high.enhance;
  }
  const double values[3] = {x.low, x.mid, x.high};
  const band_shape* bands[3] = {&params.low, &params.mid, &params.high};
  for (int b = 0; b < 3; ++b) {
    const uint8_t byte = shape_band(values[b], bands[b]->ratio, bands[b]->gamma);
    const int32_t channel = bands[b]->channel;
    if (channel >= 0 && channel <= 2) channels[channel] = byte;
  }
}

}  // namespace fulgora
