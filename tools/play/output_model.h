// The player's output as the stand-in models it: the DSP runs ahead of what
// the listener hears by up to a buffer's length. The output starts playing at
// the first write; the player then fills the buffer as fast as it can (the
// burst at the start of a track, and again after a seek) and keeps it topped
// up. What is heard stands still while paused and when the buffer runs dry;
// a seek empties the buffer and the heard clock starts again from 0.
//
// Times are seconds since the stand-in started playing. The main loop drives
// the model; the component's worker reads the heard clock through the
// playback clock service at the same time, hence the lock.
#pragma once

#include <mutex>
#include <vector>

namespace fulgora_play {

class output_model {
 public:
  explicit output_model(double buffer_s) : buffer_s_(buffer_s) {}

  // True while the buffer has room (or is empty, for a buffer of 0).
  bool wants_more(double now) const;
  void write(double now, double seconds);
  void pause(double now);
  void resume(double now);
  // Playback goes on from stream position `to`: buffer emptied, clock at 0.
  void seek(double now, double to);
  // A real device's heard clock: the model follows it from now on when it
  // strays by more than a millisecond.
  void follow(double now, double heard);
  // Everything written has been heard.
  bool drained(double now) const;
  // The buffer's length, as the player's output settings tell it.
  double buffer_s() const { return buffer_s_; }

  // Heard seconds since the last start or seek, as the player's clock says.
  double heard_clock(double now) const;
  // Heard position in the stream (seek target plus heard clock) at any time
  // up to now, also in the past.
  double heard_position(double at) const;

 private:
  // One stretch of constant behaviour; a new one starts at every pause,
  // resume, seek and underrun.
  struct segment {
    double origin;   // when it began
    double heard0;   // heard clock at origin
    bool running;    // false while paused
    double written;  // clock seconds written; what is heard never passes it
    double base;     // stream position of clock 0
  };
  static double heard_in(const segment& s, double at);
  void settle(double now);  // starts a segment where the buffer ran dry

  mutable std::mutex m_;
  double buffer_s_;
  std::vector<segment> segments_{segment{0.0, 0.0, true, 0.0, 0.0}};
};

}  // namespace fulgora_play
