#include "engine/sync/heard_clock.h"

#include <algorithm>

namespace fulgora {
namespace {

// Readings are weighed in buckets of this length; the model follows the best
// of the current and the previous one.
constexpr double bucket_s = 0.25;
// A clock that goes back by more than this was sought (or started again).
constexpr double seek_fall_s = 0.005;

// How far the model may run past the clock's last new value: a little more
// than the clock's steps, so a pause stops the lights within about a step.
double reach(const heard_clock_state& s) {
  return std::min(0.25, std::max(0.008, 1.5 * s.step_s + 0.002));
}

}  // namespace

bool heard_clock::reading(double value, double now) {
  heard_clock_state& s = s_;
  const bool fell = s.known && value < s.last_value - seek_fall_s;
  if (!s.known || fell) {
    const double step = s.step_s;
    s = heard_clock_state{};
    s.known = true;
    s.step_s = step;
    s.last_value = value;
    s.last_change = now;
    s.offset_s = s.previous_offset_s = value - now;
    s.bucket_at = now;
    return fell;
  }
  if (value <= s.last_value) {
    if (now - s.last_change > reach(s)) {
      s.moving = s.changed_once = false;
      s.stood = true;
    }
    return false;
  }
  // Moving takes two new values in a row: one may be the last of a seek or
  // of a pause, and until the second the model stays on the value read.
  const bool resumed = !s.moving;
  const bool second = s.changed_once && now - s.last_change <= reach(s) + 0.25;
  s.stood = false;
  // The steps seen: grows at once, shrinks slowly; a pause is no step.
  if (!resumed) s.step_s = std::max(now - s.last_change, 0.98 * s.step_s);
  s.last_value = value;
  s.last_change = now;
  s.changed_once = true;
  if (resumed && !second) return false;
  s.moving = true;
  const double offset = value - now;
  if (resumed) {
    s.offset_s = s.previous_offset_s = offset;  // the pause's time is not heard
    s.bucket_at = now;
  } else if (now - s.bucket_at > bucket_s) {
    s.previous_offset_s = s.offset_s;
    s.offset_s = offset;
    s.bucket_at = now;
  } else {
    s.offset_s = std::max(s.offset_s, offset);
  }
  return false;
}

double heard_clock::pause_shows_at() const { return s_.last_change + reach(s_); }

bool heard_clock::position(double now, double& heard) const {
  const heard_clock_state& s = s_;
  if (!s.known) return false;
  if (!s.moving) {
    heard = s.last_value;
    return true;
  }
  const double offset = std::max(s.offset_s, s.previous_offset_s);
  heard = std::min(offset + now, s.last_value + (now - s.last_change) + reach(s));
  heard = std::max(heard, s.last_value);
  return true;
}

}  // namespace fulgora
