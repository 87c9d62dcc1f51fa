// What a sync-mode engine leaves, when it lets its port go, for the instance
// that takes the port over: the player swaps a DSP chain by building the new
// instance while the old one runs, and the new one's stream carries on where
// the old one's ended. Kept in the process-wide record of held ports (under
// lock_shared_records), keyed by the port's identity.
//
// Only an instance that held the port and measured audio leaves one, and only
// the instance that gets the port right after it may take it (`from`: the
// leaver's place in the order of port_ticket), and only while the stream's
// end is where a stream carried on can be: between what is heard now and
// that plus the output's buffer.
//
// Threads: the releasing thread leaves, the taking engine's worker takes;
// never the audio thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sync/command_queue.h"
#include "engine/sync/heard_clock.h"

namespace fulgora {

struct stream_handover {
  double end_s = 0.0;                  // playback-clock position of the end of its last chunk
  heard_clock clock;                   // its model of the playback clock
  std::vector<timed_command> waiting;  // measured, not yet due
  uint64_t from = 0;                   // the leaver's port_ticket order
};

// Replaces what an earlier engine left for the same port. Without memory for
// it, nothing is left (the next instance then starts as one without a
// predecessor).
void leave_handover(const std::string& port, stream_handover&& h);
// Takes (and removes) what the instance of order `from` left for the port;
// false when it left nothing.
bool take_handover(const std::string& port, uint64_t from, stream_handover& out);

// Beyond the output's buffer, what the player may hold between the chains
// (a chunk or two) and the clock's late steps.
constexpr double handover_margin_s = 0.5;

// Whether a stream that ended at end_s can go on now that heard_s is heard:
// its end is not yet heard and lies no further ahead than the output holds.
inline bool plausible_end(double end_s, double heard_s, double output_buffer_s) {
  return end_s >= heard_s && end_s <= heard_s + output_buffer_s + handover_margin_s;
}

}  // namespace fulgora
