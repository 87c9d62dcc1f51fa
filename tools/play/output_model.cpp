#include "tools/play/output_model.h"

#include <algorithm>
#include <cmath>

namespace fulgora_play {

double output_model::heard_in(const segment& s, double at) {
  const double played = s.running ? std::max(0.0, at - s.origin) : 0.0;
  return std::min(s.written, s.heard0 + played);
}

void output_model::settle(double now) {
  const segment s = segments_.back();
  if (s.running && s.heard0 + (now - s.origin) > s.written)
    segments_.push_back({now, s.written, true, s.written, s.base});
}

bool output_model::wants_more(double now) const {
  std::lock_guard<std::mutex> lock(m_);
  const segment& s = segments_.back();
  const double buffered = s.written - heard_in(s, now);
  return buffered < buffer_s_ || buffered <= 0.0;
}

void output_model::write(double now, double seconds) {
  std::lock_guard<std::mutex> lock(m_);
  settle(now);
  segments_.back().written += seconds;
}

void output_model::pause(double now) {
  std::lock_guard<std::mutex> lock(m_);
  settle(now);
  const segment s = segments_.back();
  segments_.push_back({now, heard_in(s, now), false, s.written, s.base});
}

void output_model::resume(double now) {
  std::lock_guard<std::mutex> lock(m_);
  const segment s = segments_.back();
  segments_.push_back({now, s.heard0, true, s.written, s.base});
}

void output_model::seek(double now, double to) {
  std::lock_guard<std::mutex> lock(m_);
  segments_.push_back({now, 0.0, true, 0.0, to});
}

void output_model::follow(double now, double heard) {
  std::lock_guard<std::mutex> lock(m_);
  settle(now);
  const segment s = segments_.back();
  if (std::fabs(heard_in(s, now) - heard) > 0.001)
    segments_.push_back({now, std::min(heard, s.written), s.running, s.written, s.base});
}

bool output_model::drained(double now) const {
  std::lock_guard<std::mutex> lock(m_);
  const segment& s = segments_.back();
  return heard_in(s, now) >= s.written;
}

double output_model::heard_clock(double now) const {
  std::lock_guard<std::mutex> lock(m_);
  return heard_in(segments_.back(), now);
}

double output_model::heard_position(double at) const {
  std::lock_guard<std::mutex> lock(m_);
  auto it = std::upper_bound(segments_.begin(), segments_.end(), at,
                             [](double t, const segment& s) { return t < s.origin; });
  const segment& s = it == segments_.begin() ? segments_.front() : *(it - 1);
  return s.base + heard_in(s, at);
}

}  // namespace fulgora_play
