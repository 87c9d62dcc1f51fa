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

// The delay's hold-back, the crossfader's overlap, the silence skipper's
// limits, and the rate the resampler makes.
constexpr double crossfade_hold_s = 0.2;
constexpr double crossfade_overlap_s = 0.2;
constexpr double skip_silence_longer_s = 0.1, skip_silence_kept_s = 0.02;
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

// "crossfade": asks for track-change marks and mixes the last
// crossfade_overlap_s of each track into the first of the next, fading one
// out as the other comes in, so the played stream is that much shorter at
// every track change; it holds that much back to have the tail at the mark,
// and gives out what it holds at FLUSH.
// "delay": asks for track-change marks and holds the last crossfade_hold_s
// of audio back; it starts with that much silence, so its output is the
// audio crossfade_hold_s later, and gives out what it holds at FLUSH.
// "skip-silence": a silence (every channel below -90 dBFS) longer than
// skip_silence_longer_s is cut to its first skip_silence_kept_s.
// "resample": from any rate to resample_rate, by linear interpolation.
// Null for any other name.
std::unique_ptr<own_dsp> make_own_dsp(const std::string& name);

}  // namespace fulgora_play
