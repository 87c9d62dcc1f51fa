#include "tools/play/band_levels.h"

#include <algorithm>

#include "analysis/band_analyzer.h"
#include "engine/measure.h"

namespace fulgora_play {

std::string channel_bands(int channel, const int routing[3]) {
  static const char* const bands[3] = {"low", "mid", "high"};
  std::string out;
  for (int b = 0; b < 3; ++b)
    if (routing[b] == channel) out += (out.empty() ? "" : " + ") + std::string(bands[b]);
  return out.empty() ? "no band" : out;
}

std::vector<band_sample> measure_bands(const std::vector<decoded_audio>& audio, unsigned chunk,
                                       const fulgora::led_settings& settings) {
  std::vector<band_sample> out;
  fulgora::band_analyzer analyzer;
  fulgora::level_history history;
  audio_chunk_impl piece;
  double start_s = 0;  // of the file in the stream
  for (const decoded_audio& a : audio) {
    for (size_t at = 0; a.channels == 2 && at < a.frames; at += chunk) {
      const size_t frames = std::min<size_t>(chunk, a.frames - at);
      piece.set_data(a.samples.data() + at * 2, frames, 2, a.rate);
      uint8_t bytes[3];
      if (!fulgora::capture_chunk(analyzer, piece) ||
          !fulgora::measure_block(analyzer, settings, history, bytes))
        continue;
      band_sample s;
      s.track_s = start_s + static_cast<double>(at) / a.rate;
      s.level[0] = analyzer.low_level;
      s.level[1] = analyzer.mid_level;
      s.level[2] = analyzer.high_level;
      out.push_back(s);
    }
    start_s += static_cast<double>(a.frames) / a.rate;
  }
  return out;
}

}  // namespace fulgora_play
