// The stand-in's own DSPs, for a place after ours in the chain (--after):
// what the player's other DSPs do to the audio ours hands on and to the
// output's clock. They pass chunks as pointers: into run, what the DSP
// before them left; out of it, what they hand on (their own chunks, valid
// until their next call, or the ones they were given).
//
// Main thread of the stand-in, where the chain runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/audio_chunk.h"

namespace fulgora_play {

// The crossfader's hold-back, and the rate the resampler makes.
constexpr double crossfade_hold_s = 0.2;
constexpr unsigned resample_rate = 48000;

class own_dsp {
 public:
  virtual ~own_dsp() = default;
  // As a DSP's need_track_change_mark: the chain helper then flushes the
  // DSPs before this one at every track end.
  virtual bool wants_marks() const = 0;
  // flags as the chain helper gives them (END_OF_TRACK, FLUSH).
  virtual void run(const std::vector<const audio_chunk*>& in, int flags,
                   std::vector<const audio_chunk*>& out) = 0;
  // A seek: what it holds is dropped, it starts as new.
  virtual void flush() = 0;
};

// "crossfade": asks for track-change marks and holds the last
// crossfade_hold_s of audio back, as a crossfader keeps the tail it would
// fade into the next track; it starts with that much silence, so its output
// is the audio crossfade_hold_s later, and gives out what it holds at FLUSH.
// Its fade is left out: the audio itself passes unchanged.
// "resample": from any rate to resample_rate, by linear interpolation.
// Null for any other name.
std::unique_ptr<own_dsp> make_own_dsp(const std::string& name);

}  // namespace fulgora_play
