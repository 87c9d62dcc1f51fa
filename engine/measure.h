// The measuring half of one worker cycle: band edges from the settings,
// analysis, then shaping and routing into the channel bytes. The one sequence
// both drivers and fulgora-analyze run, so all compute exactly the same bytes
// from the same block.
#pragma once

#include <cstdint>

#include "analysis/band_analyzer.h"
#include "analysis/level_history.h"
#include "engine/led_settings.h"
#include "host/audio_chunk.h"

namespace fulgora {

// False when the analysis yields no levels; then nothing else is touched.
// feed: the block enters the enhancer's history (the sync driver's windows
// overlap, and only some of them do). levels, when given, gets the bands'
// levels before shaping (the sync driver shapes waiting commands again when
// the settings change).
bool measure_block(band_analyzer& analyzer, const led_settings& settings, level_history& history,
                   uint8_t channels[3], bool feed = true, band_levels* levels = nullptr);

// The player's chunk into the analyser (the analyser knows no player types):
// true when a block was stored.
bool capture_chunk(band_analyzer& analyzer, const audio_chunk& chunk);

}  // namespace fulgora
