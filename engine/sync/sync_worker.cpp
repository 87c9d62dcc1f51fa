// The worker's cycle in sync mode: measure the stream as it arrives, queue
// each command for the moment its audio is heard, send what is due by the
// model of the playback clock, and sleep until the next command is due (or,
// with nothing to send, until new audio arrives).
#include <algorithm>
#include <cmath>

#include "engine/led_engine.h"
#include "engine/measure.h"
#include "engine/sync/pause_fade.h"
#include "engine/sync/stream_handover.h"
#include "engine/sync/sync_mode.h"
#include "platform/clock.h"

namespace fulgora {
namespace {

// Sleeps: at most this long while the clock moves (its readings correct the
// model), while it stands (a pause: only a reading tells that it goes on),
// and with nothing to send (to notice stop and the port).
constexpr double moving_poll_s = 0.010;
constexpr double standing_poll_s = 0.020;
// While paused the clock is read often: the lights come back with the sound.
constexpr double paused_poll_s = 0.005;
constexpr double idle_poll_s = 0.050;
// A sleep no longer than this is the worker's timer: new audio waits for it,
// the audio thread does not wake it (no system call on its side). Only a
// longer one, with nothing to send, is ended by the next chunk.
constexpr double timer_s = standing_poll_s;
// Measuring gives way to sending after this long.
constexpr double measure_slice_s = 0.002;
// At the stop, what is left in the ring (the last run's chunks come right
// before the release) is measured for this long at most: the instance that
// takes the port over sends it on, and the player's thread waits for it.
constexpr double drain_limit_s = 0.050;
// After a command the link failed on, the next waits this long: a pulled
// board says so about as often as a cycle of the default mode does.
constexpr double failing_link_pause_s = 0.100;
// A clock heard this far past an end of playback: playback went on.
constexpr double ran_on_s = 0.5;

// A run of the ring that follows the stream without a gap, at one rate.
struct segment {
  bool open = false;
  unsigned rate = 0;
  uint64_t ring0 = 0, ring_end = 0;
  double start_s = 0.0;
  double end_s() const { return start_s + static_cast<double>(ring_end - ring0) / rate; }
};

}  // namespace

// The worker's side of the sync driver, made when the engine starts.
class sync_worker {
 public:
  sync_worker(led_engine& e, sync_mode& s) : e_(e), s_(s) {}
  void turn();
  // The stop is seen: the last run is measured before the hand-over.
  void last_turn();
  // Settings saved while the music plays (LIVE=1), between two turns.
  void retune(const sync_settings& next);

 private:
  bool settle_predecessor();
  void find_place(const stream_piece& first);
  bool measure_some();
  void drain();
  void start_again();
  void apply(const stream_piece& p);
  void update();
  uint64_t index_of(double t) const;
  void block(const stream_piece& p);
  bool measure(unsigned rate, uint32_t n, uint64_t end, uint64_t floor, bool feed);
  void queue(double stream_s);
  double send_due();
  void free_to(uint64_t index);

  led_engine& e_;
  sync_mode& s_;
  band_analyzer analyzer_;
  uint8_t channels_[3] = {0, 0, 0};    // no band has lit them yet: dark
  band_levels levels_{0.0, 0.0, 0.0};  // what channels_ were last shaped from
  pause_fade fade_;
  bool settled_ = false;
  bool placing_ = false;  // no predecessor's stream: the first chunk finds its place
  segment seg_;
  uint32_t n_ = 0;             // window length at the segment's rate
  uint64_t next_k_ = 1;        // the next update is at stream time next_k_ / SYNC_RATE
  double next_feed_s = 0.0;    // the enhancer's history takes a window from here on
  double new_start_s_ = -1.0;  // an end of playback's stream time, while it may be one
  double quiet_until_ = 0.0;   // monotonic seconds: the link failed, no command before
};

namespace {

// A visible rise of the light: the channels together up by 16 or more.
bool rises(const uint8_t before[3], const uint8_t after[3]) {
  int up = 0;
  for (int i = 0; i < 3; ++i) up += after[i] > before[i] ? after[i] - before[i] : 0;
  return up >= 16;
}

// The smallest power of two whose bins are at most 12 Hz wide: the low band
// (500 or 800 Hz) keeps 40 bins or more at every rate; 4096 at 44.1 and 48 kHz,
// 8192 at 88.2 and 96 kHz.
uint32_t window_for(unsigned rate) {
  uint32_t n = 2;
  while (n < rate / 12.0 && n < sync_mode::ring_frames / 4) n <<= 1;
  return n;
}

}  // namespace

// The window of n frames that ends at ring index end, silence before floor
// (the start of the segment).
bool sync_worker::measure(unsigned rate, uint32_t n, uint64_t end, uint64_t floor, bool feed) {
  const size_t before = end - floor < n ? static_cast<size_t>(n - (end - floor)) : 0;
  const size_t count = n - before;
  const uint64_t start = end - count;
  const uint32_t at = static_cast<uint32_t>(start % sync_mode::ring_frames);
  const size_t first = std::min<size_t>(count, sync_mode::ring_frames - at);
  const float* ring = s_.ring.get();
  if (analyzer_.load_mono(rate, n, before, ring + at, first, ring) != capture_result::stored)
    return false;
  if (measure_block(analyzer_, e_.settings, e_.history, channels_, feed, &levels_)) return true;
  e_.notices.tell_failed_analysis(analyzer_);
  return false;
}

void sync_worker::queue(double stream_s) {
  timed_command c;
  c.due_s = s_.base_s + stream_s + s_.settings.SYNC_OFFSET_MS / 1000.0;
  std::copy(channels_, channels_ + 3, c.channels);
  c.levels[0] = levels_.low;
  c.levels[1] = levels_.mid;
  c.levels[2] = levels_.high;
  s_.queue.push(c);
  if (!e_.port.measured) e_.port.note_measured();
}

// Settings saved while the music plays (LIVE=1): the waiting commands move
// to the new offset and are shaped again from their levels (the enhancer
// against today's mean: their own moment's is gone); a new rate goes on from
// the last update.
void sync_worker::retune(const sync_settings& next) {
  const double shift = (next.SYNC_OFFSET_MS - s_.settings.SYNC_OFFSET_MS) / 1000.0;
  if (shift != 0.0) s_.queue.shift(shift);
  const shaping_params params = shaping_of(e_.settings);
  for (size_t i = 0; i < s_.queue.size(); ++i) {
    timed_command& c = s_.queue.at(i);
    shape_levels(band_levels{c.levels[0], c.levels[1], c.levels[2]}, params, e_.history, c.channels,
                 false);
  }
  const int32_t from = s_.settings.SYNC_RATE, to = next.SYNC_RATE;
  if (from != to && from > 0 && to > 0) {
    const double last = static_cast<double>(next_k_ - 1) / from;
    next_k_ = static_cast<uint64_t>(std::floor(last * to + 1e-9)) + 1;
  } else if (from != to) {
    seg_ = segment{};  // one command a chunk, or back to a rate: from the next chunk on
    next_k_ = 1;
  }
  s_.settings.SYNC_OFFSET_MS = next.SYNC_OFFSET_MS;
  s_.settings.SYNC_RATE = next.SYNC_RATE;
  s_.settings.PAUSE_FADE_MS = next.PAUSE_FADE_MS;
}

void sync_worker::free_to(uint64_t index) {
  const uint64_t written = s_.frames_written.load(std::memory_order_acquire);
  index = std::min(index, written);
  if (index > s_.frames_freed.load(std::memory_order_relaxed))
    s_.frames_freed.store(index, std::memory_order_release);
}

// One chunk's block, as without a rate: its first power-of-two run, stamped
// with its middle frame.
void sync_worker::block(const stream_piece& p) {
  if (p.copied >= 2) {
    const uint32_t n = block_length_for(p.copied);
    if (measure(p.rate, n, p.ring_start + n, p.ring_start, true))
      queue(p.start_s + static_cast<double>(n / 2) / p.rate);
  }
  free_to(p.ring_start + p.copied);
}

// Takes a chunk's record into the segment (a new one after a gap, a change
// of rate or a restart of the stream).
void sync_worker::apply(const stream_piece& p) {
  if (placing_) {
    placing_ = false;
    if (p.epoch == 0) find_place(p);  // after a restart the stream starts with the clock
  }
  if (p.epoch != s_.worker_epoch) {
    s_.queue.clear();  // a seek or a new start: the old stream is never heard
    s_.worker_epoch = p.epoch;
    s_.base_s = 0.0;  // and the clock starts again with the stream
    new_start_s_ = -1.0;
    seg_.open = false;
    next_k_ = 1;
    next_feed_s = 0.0;
  }
  if (p.ended_at_s >= 0.0) new_start_s_ = p.ended_at_s;
  if (s_.settings.SYNC_RATE == 0) {
    block(p);
    return;
  }
  const bool follows = seg_.open && p.rate == seg_.rate && p.ring_start == seg_.ring_end &&
                       std::fabs(p.start_s - seg_.end_s()) < 0.5 / p.rate;
  if (!follows) {
    free_to(p.ring_start);
    seg_ = segment{true, p.rate, p.ring_start, p.ring_start, p.start_s};
    n_ = window_for(p.rate);
    // The first update after the segment's start; before it lies silence.
    const double rate = s_.settings.SYNC_RATE;
    next_k_ = std::max(next_k_, static_cast<uint64_t>(std::floor(p.start_s * rate)) + 1);
  }
  seg_.ring_end += p.copied;
  if (p.copied < p.frames) seg_.open = false;  // what follows is a gap
}

// The ring index of stream time t in the segment.
uint64_t sync_worker::index_of(double t) const {
  return seg_.ring0 + static_cast<uint64_t>(std::llround((t - seg_.start_s) * seg_.rate));
}

// The update at stream time t: the window that ends there, stamped half an
// update earlier, so that a sound starting anywhere lights within half an
// update of being heard. Where the light rises, the windows that end a
// quarter, a half and three quarters of an update earlier are measured too:
// from the earliest that shows the rise on, each goes out an eighth of an
// update before its end, and the whole update's an eighth before its own. The
// light then climbs with the sound in quarter updates, rather than in one step
// a whole update late.
void sync_worker::update() {
  const double hop = 1.0 / s_.settings.SYNC_RATE;
  const double t = static_cast<double>(next_k_) * hop;
  const bool feed = t >= next_feed_s;
  if (feed) next_feed_s = t + static_cast<double>(n_) / seg_.rate - 0.5 * hop;
  const uint8_t before[3] = {channels_[0], channels_[1], channels_[2]};
  if (measure(seg_.rate, n_, index_of(t), seg_.ring0, feed)) {
    double stamp = t - 0.5 * hop;
    if (rises(before, channels_)) {
      const uint8_t whole[3] = {channels_[0], channels_[1], channels_[2]};
      const band_levels whole_levels = levels_;
      bool risen = false;
      for (int quarter = 3; quarter >= 1; --quarter) {
        const double end = t - 0.25 * quarter * hop;
        if (end <= seg_.start_s || !measure(seg_.rate, n_, index_of(end), seg_.ring0, false))
          continue;
        risen = risen || rises(before, channels_);
        if (risen) queue(end - 0.125 * hop);
      }
      std::copy(whole, whole + 3, channels_);
      levels_ = whole_levels;
      stamp = t - 0.125 * hop;
    }
    queue(stamp);
  }
  ++next_k_;
  // Kept: the next window and the update before it, for a rise's windows.
  const double next_t = static_cast<double>(next_k_ - 1) * hop;
  const uint64_t next_end = next_t > seg_.start_s ? index_of(next_t) : seg_.ring0;
  free_to(std::max(seg_.ring0, next_end - std::min<uint64_t>(next_end, n_)));
}

// Measures until nothing is left or the slice is used; true when work is left.
bool sync_worker::measure_some() {
  const double until = monotonic_seconds() + measure_slice_s;
  for (;;) {
    if (monotonic_seconds() > until) return true;
    const bool rated = s_.settings.SYNC_RATE > 0 && seg_.ring_end > seg_.ring0;
    if (rated && static_cast<double>(next_k_) / s_.settings.SYNC_RATE <= seg_.end_s() + 1e-9) {
      update();
      continue;
    }
    const stream_piece* p = s_.front();
    if (p == nullptr) return false;
    apply(*p);
    s_.pop();
  }
}

void sync_worker::drain() {
  const double until = monotonic_seconds() + drain_limit_s;
  bool more = true;
  while ((more = measure_some()) && monotonic_seconds() < until) {
  }
  // The stream ends between two updates: one more window ends with it, so
  // that the successor's first update follows an update later.
  if (more || s_.settings.SYNC_RATE == 0 || !seg_.open || seg_.ring_end == seg_.ring0) return;
  const double hop = 1.0 / s_.settings.SYNC_RATE;
  const double end = seg_.end_s();
  const size_t n = s_.queue.size();
  const double stamp = s_.base_s + end - 0.5 * hop + s_.settings.SYNC_OFFSET_MS / 1000.0;
  if (end > static_cast<double>(next_k_ - 1) * hop &&
      (n == 0 || stamp > s_.queue.at(n - 1).due_s) &&
      measure(seg_.rate, n_, seg_.ring_end, seg_.ring0, false))
    queue(end - 0.5 * hop);
}

// Playback ended and started anew without a seek: the clock starts again
// from 0 at the end's place in the stream, which goes on; what was queued
// before that place is never heard.
void sync_worker::start_again() {
  const double base = -new_start_s_;
  s_.queue.move(s_.base_s + new_start_s_ + s_.settings.SYNC_OFFSET_MS / 1000.0, base - s_.base_s);
  s_.base_s = base;
  new_start_s_ = -1.0;
}

// The newest due command to the board, the older due ones dropped; the
// seconds until the next one is due (by the model), or a poll interval.
double sync_worker::send_due() {
  double value = 0.0;
  const double now = monotonic_seconds();
  if (!s_.clock->get_absolute_time(value)) return standing_poll_s;  // nothing plays
  if (s_.heard.reading(value, now) && new_start_s_ >= 0.0) start_again();
  double heard = 0.0, due = 0.0;
  if (!s_.heard.position(now, heard)) return idle_poll_s;
  if (new_start_s_ >= 0.0 && heard > s_.base_s + new_start_s_ + ran_on_s) new_start_s_ = -1.0;
  const bool waiting = s_.queue.next_due(due);
  if (waiting && now < quiet_until_) return std::min(moving_poll_s, quiet_until_ - now);
  uint8_t out[3];
  if (s_.heard.paused()) {
    double wait = paused_poll_s;
    // What was heard before the clock stood still goes out all the same.
    if (s_.queue.take_due(heard, out)) {
      send_levels(e_, out);
      if (e_.serial.failed) quiet_until_ = monotonic_seconds() + failing_link_pause_s;
      fade_.sent(out);
      return 0.0;
    }
    if (fade_.standing(now, s_.heard.last_change(), s_.settings.PAUSE_FADE_MS, out, wait))
      send_levels(e_, out);
    return wait;
  }
  const bool dimmed = fade_.moving(out);
  if (s_.queue.take_due(heard, out)) {
    send_levels(e_, out);  // through RECONNECT when on
    if (e_.serial.failed) quiet_until_ = monotonic_seconds() + failing_link_pause_s;
    fade_.sent(out);
  } else if (dimmed) {
    send_levels(e_, out);  // the levels of before the pause, with the sound
  }
  if (!waiting) return idle_poll_s;
  // Moved once since it stood: the second new value makes the model move.
  if (!s_.heard.moving()) return s_.heard.changed_once() ? paused_poll_s : standing_poll_s;
  if (!s_.queue.next_due(due)) return moving_poll_s;
  double wait = std::min(moving_poll_s, std::max(0.0, due - heard));
  // A reading just after the model's reach shows a pause at once.
  const double shows = s_.heard.pause_shows_at() + 0.0005 - now;
  if (s_.settings.PAUSE_FADE_MS > 0 && shows > 0.0) wait = std::min(wait, shows);
  return wait;
}

// A waiting instance measures nothing until it has the port. Then it carries
// on the stream that the instance it follows left, if that one left one for
// it and the stream's end still lies ahead of what is heard by no more than
// the output holds; otherwise it finds its place as one added during playback.
bool sync_worker::settle_predecessor() {
  if (settled_) return true;
  if (e_.port.waiting) return false;
  stream_handover h;
  double heard = 0.0;
  if (take_handover(e_.port.identity, e_.port.predecessor, h) &&
      s_.clock->get_absolute_time(heard) && plausible_end(h.end_s, heard, s_.output_buffer_s)) {
    s_.base_s = h.end_s;
    s_.heard = h.clock;
    for (const timed_command& c : h.waiting) s_.queue.push(c);
  } else {
    placing_ = true;
  }
  settled_ = true;
  return true;
}

// An instance added to a chain that is already playing: the newest chunk it
// has been given follows what the output holds, and once playback has filled
// the output's buffer that is a buffer's length ahead of what is heard. While
// the clock has not passed the end of what this instance has been given, it
// has been there since playback started: stream and clock start together.
// The worker is woken by the chunks, so the clock is read a moment after the
// newest one came.
void sync_worker::find_place(const stream_piece& first) {
  const uint32_t written = s_.pieces_written.load(std::memory_order_acquire);
  const stream_piece& newest = s_.pieces[(written - 1) % sync_mode::piece_count];
  double value = 0.0;
  if (newest.epoch != first.epoch || !s_.clock->get_absolute_time(value)) return;
  if (!(value > newest.start_s + static_cast<double>(newest.frames) / newest.rate)) return;
  s_.base_s = value + s_.output_buffer_s - newest.start_s;
}

void sync_worker::turn() {
  const bool more = settle_predecessor() && measure_some();
  const double wait = send_due();
  if (more) return;
  const double sleep = settled_ ? wait : std::min(wait, moving_poll_s);
  if (sleep <= timer_s) {
    wait_for(s_.waker, sleep);
    return;
  }
  s_.wake_wanted.store(true, std::memory_order_seq_cst);
  // A chunk published before the store above is seen here; one after it
  // wakes the wait.
  const bool pending = s_.pieces_written.load(std::memory_order_seq_cst) !=
                       s_.pieces_taken.load(std::memory_order_relaxed);
  if (!pending) wait_for(s_.waker, sleep);
  s_.wake_wanted.store(false, std::memory_order_relaxed);
}

void sync_worker::last_turn() {
  if (!settled_) return;
  drain();
  // A command that fell due while the worker was held up goes out before the
  // closing command; what is not yet due is the successor's.
  send_due();
}

void sync_worker_deleter::operator()(sync_worker* w) const { delete w; }

bool sync_mode::start(led_engine& core) {
  worker_.reset(new sync_worker(core, *this));
  return true;
}

void sync_mode::turn(led_engine&) { worker_->turn(); }

void sync_mode::last_turn(led_engine&) { worker_->last_turn(); }

void sync_mode::retune(const sync_settings& next) { worker_->retune(next); }

}  // namespace fulgora
