// The worker's model of the heard position between readings of the player's
// playback clock. An output reports its position per write, so the readings
// advance in steps of tens of milliseconds and come late by the time their
// call takes: each reading is at most the true position. The model runs on
// the monotonic clock from the earliest-looking recent reading (the one whose
// value minus its moment is largest), so it moves smoothly between steps and
// does not fall back with them. A reading that stands still for longer than
// the steps seen so far means a pause: the model stops there until the clock
// has moved twice again. A reading below the last one means a seek: the model
// starts over from it.
//
// Worker thread only; allocates nothing.
#pragma once

namespace fulgora {

struct heard_clock_state {
  bool known = false;         // no reading yet
  bool moving = false;        // the last readings advanced
  bool changed_once = false;  // one new value since the clock last stood
  bool stood = false;         // stood still past the model's reach: a pause
  // Heard position minus monotonic time: the largest of the readings since
  // bucket_at, and of those of the bucket before.
  double offset_s = 0.0, previous_offset_s = 0.0;
  double bucket_at = 0.0;
  double last_value = 0.0, last_change = 0.0;  // the clock's last new value and its moment
  double step_s = 0.05;                        // largest recent interval between new values
};

class heard_clock {
 public:
  // A reading of the clock (value seconds) taken at monotonic time now; true
  // when it fell back below the last one (a seek or a new start).
  bool reading(double value, double now);
  // The heard position at monotonic time now; false before any reading.
  bool position(double now, double& heard) const;
  bool moving() const { return s_.known && s_.moving; }
  // The clock stands still, longer than its steps: playback is paused.
  bool paused() const { return s_.known && !s_.moving && s_.stood; }
  // While it moves: the moment a reading that shows no new value tells a
  // pause (monotonic seconds).
  double pause_shows_at() const;
  // The monotonic moment of the clock's last new value.
  double last_change() const { return s_.last_change; }
  // The clock's last new value and the largest recent interval between new
  // values: no sound beyond their sum can have been heard yet.
  double last_value() const { return s_.last_value; }
  double step() const { return s_.step_s; }
  // One new value since the clock last stood (the next makes the model move).
  bool changed_once() const { return s_.changed_once; }
  void reset() { s_ = heard_clock_state{}; }

 private:
  heard_clock_state s_;
};

}  // namespace fulgora
