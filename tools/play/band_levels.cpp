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
  const size_t hop = std::max<size_t>(1, chunk / 8);
  for (const decoded_audio& a : audio) {
    // Each window ends where its sound has been heard: a level is drawn
    // there, never before the sound that makes it.
    for (size_t end = std::min<size_t>(hop, a.frames); a.channels == 2 && end <= a.frames;
         end = end == a.frames ? end + 1 : std::min(end + hop, a.frames)) {
      const size_t at = end > chunk ? end - chunk : 0, frames = end - at;
      piece.set_data(a.samples.data() + at * 2, frames, 2, a.rate);
      uint8_t bytes[3];
      if (!fulgora::capture_chunk(analyzer, piece) ||
          !fulgora::measure_block(analyzer, settings, history, bytes))
        continue;
      band_sample s;
      s.track_s = start_s + static_cast<double>(end) / a.rate;
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
