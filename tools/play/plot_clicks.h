// The calibration track's marks on the picture: each click (a whole second
// of the track, where the band levels jump out of silence) and the first lit
// command the board got near it, with the time between them in ms: the
// light's offset from the sound, to be cancelled with SYNC_OFFSET_MS.
#pragma once

#include <ostream>
#include <vector>

#include "tools/play/plot.h"

namespace fulgora_play {

struct click_mark {
  double click_s = 0;
  double lit_s = -1;  // -1: no lit command near it
};

// The clicks when the track is a calibration track (onsets out of silence,
// each within a chunk of a whole second); otherwise none.
std::vector<click_mark> find_clicks(const plot_data& d);

// Draws the marks from top to bottom over the time axis that starts at x
// left and spans width for span seconds.
void draw_clicks(std::ostream& svg, const std::vector<click_mark>& marks, double left, double width,
                 double span, double top, double bottom);

}  // namespace fulgora_play
