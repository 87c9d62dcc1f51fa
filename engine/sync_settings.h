// The keys of the opt-in sync mode, read beside the seventeen tuning values
// but on their own (settings_record.cpp): a malformed one is ignored (it
// keeps its default) and changes nothing else. Written while the engine is
// built, before its worker starts; afterwards only by the worker, between two
// of its turns, when a saved change retunes sync mode (LIVE=1: SYNC_OFFSET_MS,
// SYNC_RATE, PAUSE_FADE_MS).
#pragma once

#include <cstdint>

namespace fulgora {

// The line carries a 12-byte command in 3.1 ms at 38400 baud and the board
// answers with a few bytes more: about 4.2 ms an exchange, so no more than
// this many commands a second are asked of it.
constexpr int32_t max_sync_rate = 200;

struct sync_settings {
  bool SYNC = false;           // 1: each command goes out when its audio is heard
  int32_t SYNC_OFFSET_MS = 0;  // added to that moment; negative sends earlier
  // Level commands per second of heard audio (more where the light rises);
  // 0: the default rate, 60.
  int32_t SYNC_RATE = 60;
  // Milliseconds over which the lights go dark while playback is paused; 0:
  // they keep their last levels.
  int32_t PAUSE_FADE_MS = 0;
};

}  // namespace fulgora
