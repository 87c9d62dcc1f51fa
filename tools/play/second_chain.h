// A second chain with our DSP in the same process while playback goes on, as
// the player's converter runs one: a new instance from the same preset (so
// the same settings file and port), made and run on a thread of its own,
// faster than real time, then released. It converts a steady high tone
// (second_chain_tone_hz), not the played files, so the board's log tells its
// commands from playback's: only the high band lights.
//
// The main thread starts it and, at the end, waits for it; the chain's own
// thread does everything else.
#pragma once

#include <atomic>
#include <thread>

#include "host/dsp.h"

namespace fulgora_play {

constexpr double second_chain_tone_hz = 11025;
constexpr double second_chain_speed = 4;  // times the audio rate

class second_chain {
 public:
  ~second_chain() { join(); }
  // Converts `seconds` of the tone through a new instance of the entry's DSP.
  void start(dsp_entry& entry, const dsp_preset& preset, double seconds);
  // Started and not yet ended.
  bool running() const { return thread_.joinable() && !ended_; }
  // Waits for its end; false when the entry made no DSP for it. With cut,
  // it ends after its current chunk (an interrupt).
  bool join(bool cut = false);

 private:
  void convert(dsp_entry& entry, const dsp_preset& preset, double seconds);
  std::thread thread_;
  std::atomic<bool> ended_{false}, cut_{false};
  bool made_ = true;
};

}  // namespace fulgora_play
