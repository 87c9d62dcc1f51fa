// The picture of a run: the three channel bytes the board received over the
// track's time, and under them the track's band levels on one scale with each
// band's channel bytes drawn over it, so that the light can be seen
// following the sound. Seeks, pauses and swaps are marked on the time axis;
// the title says how the run was made; a run that sent nothing says why.
// A self-contained SVG.
#pragma once

#include <string>
#include <vector>

#include "tools/play/band_levels.h"
#include "tools/play/board_log.h"

namespace fulgora_play {

// Something the transport did, or a live edit of the settings the
// component took, at a heard position.
struct play_event {
  enum kind_t { seek, pause, swap, reload } kind;
  double at_s;         // where it happened
  double to_s;         // seek: where it went; pause: for how long
  double wall_s = 0;   // when, in seconds since the run started
  std::string note{};  // reload: what was in force from then on
};

struct plot_data {
  std::string title;
  std::string mode;  // sync, rate, offset, buffer in words, as at the start
  std::vector<play_event> events;
  std::vector<std::string> console;  // the component's first lines
  double total_s = 0;
  std::vector<board_record> records;
  std::vector<band_sample> bands;
  std::string bands_from = "the track's band levels";  // what the band lanes show
  int routing[3] = {0, 1, 2};  // the channel of each band (LOW_, MID_, HI_LEDTYPE)
};

bool write_plot(const std::string& path, const plot_data& data);

// Spacing of the time axis' ticks: 1, 2 or 5 times a power of ten, at most
// about a dozen ticks over span seconds.
double tick_step(double span);

}  // namespace fulgora_play
