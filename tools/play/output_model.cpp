#include "tools/play/output_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/play/player_host.h"

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

namespace {

// The player's channel map for a chunk that gave none: its guess for the
// usual counts (mono is front centre; 4, 5 and 6 are quad, 5.0 and 5.1).
unsigned guessed_config(unsigned channels) {
  static const unsigned usual[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F};
  if (channels < sizeof usual / sizeof usual[0]) return usual[channels];
  return channels < 32 ? (1u << channels) - 1 : 0;
}

}  // namespace

void played_audio::restart() {
  std::deque<span> gone;  // freed outside the lock
  {
    std::lock_guard<std::mutex> lock(m_);
    gone.swap(spans_);
  }
  end_ = 0;
}

void played_audio::write(const audio_chunk& chunk, double now, double clock) {
  const size_t frames = chunk.get_sample_count();
  const unsigned rate = chunk.get_srate(), channels = chunk.get_channels();
  if (frames == 0 || rate == 0 || channels == 0) return;
  const unsigned config = chunk.get_channel_config();
  span s{end_, now, rate, channels, config ? config : guessed_config(channels), {}};
  s.samples.assign(chunk.get_data(), chunk.get_data() + frames * channels);
  end_ += static_cast<double>(frames) / rate;
  std::deque<span> gone;
  std::lock_guard<std::mutex> lock(m_);
  spans_.push_back(std::move(s));
  while (spans_.size() > 1 && spans_.front().end() < clock - faults_.backlog_s) {
    gone.push_back(std::move(spans_.front()));
    spans_.pop_front();
  }
}

bool played_audio::serve(audio_chunk& out, double offset, double length, double clock,
                         double opened, double now) const {
  const played_faults& f = faults_;
  if (!std::isfinite(offset) || !(length > 0) || offset < clock - f.backlog_s) return false;
  double since = -std::numeric_limits<double>::infinity();
  if (f.late_start_s >= 0) {
    since = opened + f.late_start_s;
    if (now < since) return false;
  }
  double until = offset + length;
  if (f.no_lookahead) until = std::min(until, clock);
  if (f.drop_every_s > 0) {
    const double hole = (std::floor(offset / f.drop_every_s) + 1) * f.drop_every_s - f.drop_span_s;
    if (offset >= hole) return false;
    until = std::min(until, hole);
  }
  // Grows to the longest window once per thread, then stays.
  thread_local std::vector<audio_sample> scratch;
  unsigned rate = 0, channels = 0, config = 0;
  if (!copy_run(offset, until, since, scratch, rate, channels, config)) return false;
  size_t frames = scratch.size() / channels;
  if (f.short_chunks) frames = std::max<size_t>(1, frames / 2);
  // In the order of the SDK's audio_chunk::set_data.
  out.set_data_size(frames * channels);
  std::copy_n(scratch.data(), frames * channels, out.get_data());
  out.set_sample_count(frames);
  out.set_srate(rate);
  out.set_channels(channels, config);
  return true;
}

bool played_audio::copy_run(double offset, double until, double since,
                            std::vector<audio_sample>& scratch, unsigned& rate, unsigned& channels,
                            unsigned& config) const {
  std::lock_guard<std::mutex> lock(m_);
  auto it = std::upper_bound(spans_.begin(), spans_.end(), offset,
                             [](double t, const span& s) { return t < s.start; });
  if (it != spans_.begin()) --it;
  if (it == spans_.end()) return false;
  // The frame at offset; at a span's end, the next span's first when the
  // two join.
  long long at = std::llround((offset - it->start) * it->rate);
  if (at >= static_cast<long long>(it->frames()) && it + 1 != spans_.end() &&
      std::fabs((it + 1)->start - it->end()) < 0.5 / it->rate) {
    ++it;
    at = std::llround((offset - it->start) * it->rate);
  }
  if (at < 0 || at >= static_cast<long long>(it->frames()) || it->stamp < since) return false;
  rate = it->rate;
  channels = it->channels;
  config = it->config;
  long long left = std::llround((until - offset) * rate);
  if (left <= 0) return false;
  scratch.clear();
  for (auto s = it; left > 0; ++s) {
    const bool joins =
        s == it ||
        (s != spans_.end() && s->rate == rate && s->channels == channels && s->config == config &&
         s->stamp >= since && std::fabs(s->start - (s - 1)->end()) < 0.5 / rate);
    if (!joins) break;
    const size_t from = s == it ? static_cast<size_t>(at) : 0;
    const size_t take = std::min<size_t>(static_cast<size_t>(left), s->frames() - from);
    scratch.insert(scratch.end(), s->samples.begin() + static_cast<std::ptrdiff_t>(from * channels),
                   s->samples.begin() + static_cast<std::ptrdiff_t>((from + take) * channels));
    left -= static_cast<long long>(take);
  }
  return true;
}

// Out of line: the manager's table and the stream's live with the stand-in.
void playback_clock::create_stream(service_ptr_t<visualisation_stream>& out, unsigned) {
  out.set(new played_stream(*this, since_start()));
}

}  // namespace fulgora_play
