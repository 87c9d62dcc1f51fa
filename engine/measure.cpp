#include "engine/measure.h"

namespace fulgora {

bool measure_block(band_analyzer& analyzer, const led_settings& settings, level_history& history,
                   uint8_t channels[3], bool feed, band_levels* levels) {
  analyzer.low_edge = settings.LOW_FREQ;
  analyzer.mid_edge = settings.MID_FREQ;
  analyzer.high_edge = settings.HI_FREQ;
  if (!analyzer.analyze()) return false;
  const band_levels measured{analyzer.low_level, analyzer.mid_level, analyzer.high_level};
  if (levels) *levels = measured;
  shape_levels(measured, shaping_of(settings), history, channels, feed);
  return true;
}

bool capture_chunk(band_analyzer& analyzer, const audio_chunk& chunk) {
  const unsigned rate = chunk.get_srate();
  const size_t frames = chunk.get_sample_count();
  const audio_sample* data = chunk.get_data();
  return analyzer.capture_samples(rate, frames, data) == capture_result::stored;
}

}  // namespace fulgora
