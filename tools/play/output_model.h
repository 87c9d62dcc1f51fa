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

#include <deque>
#include <mutex>
#include <vector>

#include "host/audio_chunk.h"

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

// What the player does not promise of its played audio, each one a switch of
// the stand-in (--vis-*), for testing a component against the worse case.
struct played_faults {
  double backlog_s = 5;       // served this far behind the clock (a few seconds)
  bool no_lookahead = false;  // nothing past the clock's position
  double late_start_s = -1;   // >= 0: nothing for this long after a stream is
                              // made, nor anything written before then
  double drop_every_s = 0;    // > 0: the last drop_span_s of every drop_every_s
  double drop_span_s = 0;     // of the time line never comes through
  bool short_chunks = false;  // every answer half as long as asked
};

// The played audio as the player's visualisation serves it: what left the
// whole chain and went to the output, keyed by its place on the clock's time
// line (seconds since the start or the last seek, as get_absolute_time
// counts them), at the rate and channel count it was played.
//
// The main thread writes and restarts; the component's workers serve, one
// or two at once. A write copies outside the lock and only links its span in
// under it; a serve copies its window out under the lock, so neither side
// holds it for longer than one window's copy.
class played_audio {
 public:
  explicit played_audio(played_faults faults = {}) : faults_(faults) {}
  // A seek: the time line begins again at 0, nothing of before is served.
  void restart();
  // One chunk that went to the output, after what was written before;
  // stamped `now` (the stand-in's seconds). What lies more than the backlog
  // behind `clock` is forgotten.
  void write(const audio_chunk& chunk, double now, double clock);
  // get_chunk_absolute for a stream opened at `opened`, with the clock at
  // `clock` and the stand-in's time `now`: the audio from offset, at most
  // length seconds, of one format and without a gap, filled into out
  // through its own methods as the player's set_data does. False, with out
  // untouched, when nothing is there at offset.
  bool serve(audio_chunk& out, double offset, double length, double clock, double opened,
             double now) const;
  const played_faults& faults() const { return faults_; }

 private:
  struct span {
    double start, stamp;  // on the time line; when it was written
    unsigned rate, channels, config;
    std::vector<audio_sample> samples;
    size_t frames() const { return samples.size() / channels; }
    double end() const { return start + static_cast<double>(frames()) / rate; }
  };
  // Copies the run into scratch; false when none starts at offset.
  bool copy_run(double offset, double until, double since, std::vector<audio_sample>& scratch,
                unsigned& rate, unsigned& channels, unsigned& config) const;

  const played_faults faults_;
  double end_ = 0;  // main thread: where the next chunk goes
  mutable std::mutex m_;
  std::deque<span> spans_;
};

}  // namespace fulgora_play
