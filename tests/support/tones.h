// Distinct stereo chunks and the level commands that measuring each one's
// block predicts, in order: what the board should get for them.
#pragma once

#include <string>
#include <vector>

#include "engine/measure.h"
#include "serial/serial_link.h"
#include "tests/support/signals.h"

namespace fulgora_test {

struct tones {
  std::vector<audio_chunk_impl> chunks;
  std::vector<std::string> commands;
  tones(int count, const fulgora::led_settings& settings, unsigned frames, unsigned rate) {
    fulgora::level_history history;
    history.resize(settings.ENHANCER_MEAN_COUNT);
    uint8_t channels[3] = {0, 0, 0};
    for (int i = 0; i < count; ++i) {
      chunks.push_back(chunk_of(sine(300.0 * (i + 1), 0.1 + 0.1 * i, frames, 2, rate), 2, rate));
      fulgora::band_analyzer a;
      fulgora::capture_chunk(a, chunks.back());
      fulgora::measure_block(a, settings, history, channels);
      char command[12];
      fulgora::format_level_command(channels, command);
      commands.emplace_back(command, 12);
    }
  }
};

}  // namespace fulgora_test
