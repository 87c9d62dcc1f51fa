#include "engine/sync/pause_fade.h"

#include <algorithm>

namespace fulgora {

void pause_fade::sent(const uint8_t levels[3]) {
  std::copy(levels, levels + 3, held_);
  paused_ = false;
}

bool pause_fade::standing(double now, double stood_at, int32_t fade_ms, uint8_t out[3],
                          double& wait_s) {
  if (fade_ms <= 0) return false;
  const double length_s = fade_ms / 1000.0;
  if (!paused_) {
    paused_ = true;
    since_s_ = std::min(stood_at, now);
    done_ = 0;
    const bool dark = held_[0] == 0 && held_[1] == 0 && held_[2] == 0;
    // Steps at least min_step_s apart, the last at the fade's end.
    steps_ = dark ? 0 : std::min(max_steps, 1 + static_cast<int>(length_s / min_step_s));
  }
  if (done_ >= steps_) return false;
  // Step k (1..steps) is due at (k - 1) / (steps - 1) of the length with
  // (steps - k) / steps of the levels: the first at once, the last dark. The
  // latest step due goes out; those it passed over are not sent.
  const double span = steps_ > 1 ? length_s / (steps_ - 1) : 0.0;
  int due = steps_;
  if (span > 0.0) due = std::min(steps_, 1 + static_cast<int>((now - since_s_) / span));
  if (due <= done_) {
    wait_s = std::min(wait_s, since_s_ + done_ * span - now);
    return false;
  }
  done_ = due;
  for (int i = 0; i < 3; ++i) out[i] = static_cast<uint8_t>(held_[i] * (steps_ - done_) / steps_);
  if (done_ < steps_) wait_s = std::min(wait_s, span);
  return true;
}

bool pause_fade::moving(uint8_t out[3]) {
  const bool dimmed = paused_ && done_ > 0;
  paused_ = false;
  if (dimmed) std::copy(held_, held_ + 3, out);
  return dimmed;
}

}  // namespace fulgora
