// Sync mode's dark pause (PAUSE_FADE_MS): when the heard clock stands still,
// the lights go from the levels last sent to dark in a few even steps over
// the fade's length, counted from the clock's last move, the first as soon
// as the pause is known (a step or so later); when the clock
// moves again they come back with the sound, at once, even where the
// commands for the first moments after the pause went out before the pause
// showed. With a length of 0 nothing changes: the board keeps the levels.
//
// Worker only; allocates nothing.
#pragma once

#include <cstdint>

namespace fulgora {

class pause_fade {
 public:
  // At most this many commands make a fade, one every this long at least.
  static constexpr int max_steps = 6;
  static constexpr double min_step_s = 0.05;

  // A command of the stream went to the board.
  void sent(const uint8_t levels[3]);
  // The clock stands (a pause it knows) at now, since it last moved at
  // stood_at: true with the fade's command when one is due; wait_s is how
  // long until the next (unchanged when none follows).
  bool standing(double now, double stood_at, int32_t fade_ms, uint8_t out[3], double& wait_s);
  // The clock moves: true with the levels before the pause when the fade
  // dimmed them (they go out unless a command of the stream is due).
  bool moving(uint8_t out[3]);

 private:
  uint8_t held_[3] = {0, 0, 0};  // the stream's last levels
  bool paused_ = false;
  double since_s_ = 0.0;  // when the clock last moved
  int steps_ = 0, done_ = 0;
};

}  // namespace fulgora
