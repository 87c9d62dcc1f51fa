// The sound under the light: the track's three band levels as the component
// measures them, and which bands each channel shows.
#pragma once

#include <string>
#include <vector>

#include "analysis/band_analyzer.h"
#include "analysis/level_history.h"
#include "engine/led_settings.h"
#include "host/audio_chunk.h"
#include "tools/play/decoder.h"

namespace fulgora_play {

// The bands a channel shows under the routing (LOW_, MID_, HI_LEDTYPE):
// "low", "mid + high", "no band".
std::string channel_bands(int channel, const int routing[3]);

// The levels (low, mid, high; 0 at -60 dB, 1 at full scale) of the sound
// heard up to track_s: a chunk's length of it, ending there.
struct band_sample {
  double track_s = 0;
  double level[3] = {0, 0, 0};
  bool after_seek = false;  // the first level after a seek: a new line starts
};

// Runs the component's measuring code over the decoded files as one
// stream, a chunk's length of sound at a time, every eighth of a chunk; only
// stereo audio is measured, as by the component. The band edges come from
// settings. The one source of the picture's band levels.
std::vector<band_sample> measure_bands(const std::vector<decoded_audio>& audio, unsigned chunk,
                                       const fulgora::led_settings& settings);

// The band levels of what was played (after every DSP after ours), measured
// as each chunk goes to the output, since the store of played audio keeps
// only a few seconds: as measure_bands does, a chunk's length of sound every
// eighth of a chunk, at the played rate, from the front left and right
// channels (a stream without both has none). Each level is placed where its
// sound is heard: the output's time line since the start or the last seek,
// counted from the track time that seek went to, as the heard position
// counts it. Main thread only; the window costs no lock.
class heard_bands {
 public:
  heard_bands(unsigned chunk, const fulgora::led_settings& settings);
  // One chunk that went to the output, after what was written before.
  void write(const audio_chunk& chunk);
  // A seek at heard position `heard` to track time `to`: what was written
  // beyond `heard` was never heard and goes; the time line starts again.
  void seek(double heard, double to);
  // The end of the run at heard position `heard`: what the output still
  // held goes (an interrupt leaves it unplayed).
  void cut(double heard);
  const std::vector<band_sample>& samples() const { return samples_; }

 private:
  void measure(size_t end);

  const unsigned chunk_;
  const size_t hop_;
  const fulgora::led_settings settings_;
  fulgora::band_analyzer analyzer_;
  fulgora::level_history history_;
  std::vector<band_sample> samples_;
  size_t since_seek_ = 0;  // the first sample of the current time line
  bool seeked_ = false;
  double base_s_ = 0;  // track time of the time line's 0
  // The current run of one format: where it starts on the time line, its
  // rate and front pair, its frames (a chunk of silence, then those
  // written) and those kept for the next window.
  double run_s_ = 0;
  unsigned rate_ = 0, channels_ = 0;
  int left_ = -1, right_ = -1;
  size_t frames_ = 0, next_end_ = 0, kept_from_ = 0;
  std::vector<audio_sample> kept_;  // front left and right, from kept_from_
};

}  // namespace fulgora_play
