// What a sync-mode engine leaves, when it lets its port go, for the instance
// that takes the port over: the player swaps a DSP chain by building the new
// instance while the old one runs, and the new one's stream carries on where
// the old one's ended. Kept in the process-wide record of held ports (under
// lock_shared_records), keyed by the port's identity.
//
// Threads: the releasing thread leaves, the taking engine's worker takes;
// never the audio thread.
#pragma once

#include <string>
#include <vector>

#include "engine/sync/command_queue.h"
#include "engine/sync/heard_clock.h"

namespace fulgora {

struct stream_handover {
  double end_s = 0.0;                  // playback-clock position of the end of its last chunk
  heard_clock clock;                   // its model of the playback clock
  std::vector<timed_command> waiting;  // measured, not yet due
  double left_at = 0.0;                // monotonic_seconds when it was left
};

// Replaces what an earlier engine left for the same port. Without memory for
// it, nothing is left (the next instance then starts as one without a
// predecessor).
void leave_handover(const std::string& port, stream_handover&& h);
// Takes (and removes) what was left for the port within the last
// handover_life_s; false when nothing was.
bool take_handover(const std::string& port, stream_handover& out);

constexpr double handover_life_s = 10.0;

}  // namespace fulgora
