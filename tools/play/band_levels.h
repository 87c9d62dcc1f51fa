// The sound under the light: the track's three band levels as the component
// measures them, and which bands each channel shows.
#pragma once

#include <string>
#include <vector>

#include "engine/led_settings.h"
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
};

// Runs the component's measuring code over the decoded files as one
// stream, a chunk's length of sound at a time, every eighth of a chunk; only
// stereo audio is measured, as by the component. The band edges come from
// settings. The one source of the picture's band levels.
std::vector<band_sample> measure_bands(const std::vector<decoded_audio>& audio, unsigned chunk,
                                       const fulgora::led_settings& settings);

}  // namespace fulgora_play
