// The sound card: where fulgora-play sends what left the DSP, and whose
// playback position is the player's clock while it plays. Opened on the
// default output device (PULSE_SINK names another); the build without a
// sound library, or a machine where no audio server answers, keeps the
// modelled output.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "host/audio_chunk.h"

namespace fulgora_play {

class sound_output {
 public:
  virtual ~sound_output() = default;
  // The device's buffer has room for more.
  virtual bool wants_more() = 0;
  // Interleaved frames in the stream's format; false once the device is lost.
  virtual bool write(const audio_sample* samples, size_t frames) = 0;
  virtual void pause(bool paused) = 0;
  // Drops what the device and the server still hold (a seek); the heard
  // clock starts again from 0.
  virtual void flush() = 0;
  // No more audio comes: what is buffered plays out.
  virtual void finish() = 0;
  // Everything written has been played (after finish()).
  virtual bool drained() = 0;
  // Seconds played since the start or the last flush: what was written
  // minus what the device and the server still hold. Never goes back.
  // Also read from the component's worker thread.
  virtual double heard_clock() = 0;
  // The device's name, for the one line that says where the sound goes.
  virtual std::string device() const = 0;
};

// Opens a stream of `channels` at `rate` Hz with a buffer of `buffer_s`;
// nullptr with a reason when there is no device, server or sound library.
std::unique_ptr<sound_output> open_sound(unsigned rate, unsigned channels, double buffer_s,
                                         std::string& why);

}  // namespace fulgora_play
