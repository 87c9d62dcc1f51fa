// The worker's cycle in sync mode: read the player's clock, measure the
// played audio of each update once the clock has got near it, queue the
// command for the moment its audio is heard, send what is due by the model
// of the playback clock, and sleep until the next thing to do.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/sync/pause_fade.h"
#include "engine/sync/played_stream.h"
#include "engine/sync/sync_mode.h"
#include "platform/clock.h"

namespace fulgora {
namespace {

// Sleeps: at most this long while the clock moves (its readings correct the
// model and let the next windows be measured), while it stands (a pause:
// only a reading tells that it goes on), and with nothing to send.
constexpr double moving_poll_s = 0.010;
constexpr double standing_poll_s = 0.020;
// While paused the clock is read often: the lights come back with the sound.
constexpr double paused_poll_s = 0.005;
constexpr double idle_poll_s = 0.050;
// A window the player has not yet written whole is asked for again after
// this long (a player that keeps no audio ahead of the clock).
constexpr double retry_s = 0.003;
// A wake for the next update's window comes this long after the model says
// the clock reaches it (a reading may trail the model a little).
constexpr double measurable_margin_s = 0.0005;
// Measuring gives way to sending after this long.
constexpr double measure_slice_s = 0.002;
// A window the player has nothing for when the clock is this far past its
// end (beyond a step) will get nothing: a gap, a dropped span, the start.
constexpr double given_up_s = 0.020;
// Updates this far behind the heard position are passed over.
constexpr double behind_s = 0.5;
// A link that fails or a board that answers with errors says so at most this
// often; the commands go on at the rate.
constexpr unsigned recv_line_gap_ms = 100;

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
  while (n < rate / 12.0 && n < played_frames_max / 4) n <<= 1;
  return n;
}

}  // namespace

// The worker's side of the sync driver, made when the engine starts.
class sync_worker {
 public:
  sync_worker(driver_core& e, sync_mode& s) : e_(e), s_(s) {}
  void turn();
  // The stop is seen: a command already due goes out before the closing one.
  void last_turn();
  // Settings saved while the music plays (LIVE=1), between two turns.
  void retune(const sync_settings& next);

 private:
  enum class got { whole, part, nothing };
  double hop() const { return 1.0 / sync_updates_per_s(s_.settings); }
  // How far past the clock's last value a window may be measured: a step,
  // and a negative offset's lead (it shows each window that much before it
  // is heard, for a board that lights late, so the light is still seen no
  // more than a step past the clock).
  double reach_s() const {
    return s_.heard.step() + std::max(0.0, -s_.settings.SYNC_OFFSET_MS / 1000.0);
  }
  void restart();
  bool measure_due(double heard);
  got read(double t, bool late);
  bool measure_at(double end, bool feed);
  void update(double t);
  void queue(double stamp);
  double send_due(double now, double heard);
  void note_dry(double now, bool moving);

  driver_core& e_;
  sync_mode& s_;
  band_analyzer analyzer_;
  uint8_t channels_[3] = {0, 0, 0};    // no band has lit them yet: dark
  band_levels levels_{0.0, 0.0, 0.0};  // what channels_ were last shaped from
  pause_fade fade_;
  // The last read: `frames_` frames at rate_ from from_s_ in s_.window,
  // silence after them; silence before them too where `floor_` (the start of
  // the time line, a format change, the first audio served).
  double from_s_ = 0.0;
  size_t frames_ = 0;
  unsigned rate_ = 0;
  bool floor_ = false;
  uint32_t n_ = 0;                       // window length at rate_
  bool placed_ = false;                  // the next update follows the heard position
  uint64_t next_k_ = 1;                  // the next update ends at next_k_ / SYNC_RATE
  double next_feed_s_ = 0.0;             // the enhancer's history takes a window from here on
  double retry_at_ = 0.0;                // monotonic: a window not yet whole, asked for again
  bool audio_ = false;                   // a read brought audio since the last turn
  double dry_s_ = 0.0, last_at_ = -1.0;  // clock moving with no audio at all
  bool said_dry_ = false;
};

// Window of n_ frames ending at `end` (clock seconds) from the last read.
bool sync_worker::measure_at(double end, bool feed) {
  const double at = (end - from_s_) * rate_;
  if (at < 0.5) return false;
  const size_t e = std::min<size_t>(static_cast<size_t>(std::llround(at)), played_frames_max);
  if (e < n_ && !floor_) return false;  // its start lies before what was read
  const size_t count = std::min<size_t>(e, n_);
  const float* w = s_.window.get();
  if (analyzer_.load_mono(rate_, n_, n_ - count, w + (e - count), count, w) !=
      capture_result::stored)
    return false;
  return e_.measure(analyzer_, channels_, feed, &levels_);
}

// One read for the update ending at t: its window and the rise windows before
// it. A short answer is asked for its rest, up to three times (the player may
// stop a chunk at a format change: the new format then starts a new window);
// what is still missing is silence. late: the
// clock is well past t, so what the player has is all it will have; a window
// it has nothing for is then asked for its last update alone (the first audio
// after the start of the stream or a gap).
sync_worker::got sync_worker::read(double t, bool late) {
  const unsigned input = s_.input_rate.load(std::memory_order_relaxed);
  const unsigned guess = rate_ ? rate_ : input > 0 ? input : 44100;
  const double span =
      std::min(played_read_max_s, window_for(guess) / static_cast<double>(guess) + 0.75 * hop());
  float* w = s_.window.get();
  double from = std::max(0.0, t - span);
  played_piece p = read_played(from, t - from, w, played_frames_max);
  bool floor = from == 0.0;
  if (p.frames == 0 && late && t - hop() > from) {
    from = t - hop();
    p = read_played(from, hop(), w, played_frames_max);
    floor = true;
  }
  if (p.frames == 0) return got::nothing;
  audio_ = true;
  double covered = from + static_cast<double>(p.frames) / p.rate;
  for (int more = 0; more < 3 && covered < t - 1.0 / p.rate && p.frames < played_frames_max;
       ++more) {
    const played_piece rest =
        read_played(covered, t - covered, w + p.frames, played_frames_max - p.frames);
    if (rest.frames == 0) break;
    if (rest.rate == p.rate) {
      p.frames += rest.frames;
    } else {
      std::memmove(w, w + p.frames, rest.frames * sizeof(float));
      from = covered;
      p = rest;
      floor = true;
    }
    covered = from + static_cast<double>(p.frames) / p.rate;
  }
  from_s_ = from;
  frames_ = p.frames;
  rate_ = p.rate;
  floor_ = floor;
  n_ = window_for(rate_);
  // Silence after what came, up to the window's end.
  const size_t end = std::min<size_t>(static_cast<size_t>(std::llround((t - from) * rate_)) + 1,
                                      played_frames_max);
  if (end > frames_) std::fill(w + frames_, w + end, 0.0f);
  return covered >= t - 1.0 / rate_ ? got::whole : got::part;
}

void sync_worker::queue(double stamp) {
  timed_command c;
  c.due_s = stamp + s_.settings.SYNC_OFFSET_MS / 1000.0;
  std::copy(channels_, channels_ + 3, c.channels);
  c.levels[0] = levels_.low;
  c.levels[1] = levels_.mid;
  c.levels[2] = levels_.high;
  s_.queue.push(c);
  e_.note_measured();
}

// Settings saved while the music plays (LIVE=1): the waiting commands move
// to the new offset and are shaped again from their levels (the enhancer
// against today's mean: their own moment's is gone); a new rate goes on from
// the last update.
void sync_worker::retune(const sync_settings& next) {
  const double shift = (next.SYNC_OFFSET_MS - s_.settings.SYNC_OFFSET_MS) / 1000.0;
  if (shift != 0.0) s_.queue.shift(shift);
  for (size_t i = 0; i < s_.queue.size(); ++i) {
    timed_command& c = s_.queue.at(i);
    e_.reshape(band_levels{c.levels[0], c.levels[1], c.levels[2]}, c.channels);
  }
  const int32_t from = sync_updates_per_s(s_.settings), to = sync_updates_per_s(next);
  if (from != to) {
    const double last = static_cast<double>(next_k_ - 1) / from;
    next_k_ = static_cast<uint64_t>(std::floor(last * to + 1e-9)) + 1;
  }
  s_.settings.SYNC_OFFSET_MS = next.SYNC_OFFSET_MS;
  s_.settings.SYNC_RATE = next.SYNC_RATE;
  s_.settings.PAUSE_FADE_MS = next.PAUSE_FADE_MS;
}

// The update at t: the window that ends there, stamped half an update
// earlier, so that a sound starting anywhere lights within half an update of
// being heard. Where the light rises, the windows that end a quarter, a half
// and three quarters of an update earlier are measured too (from the same
// read): from the earliest that shows the rise on, each goes out an eighth of
// an update before its end, and the whole update's an eighth before its own.
// The light then climbs with the sound in quarter updates, rather than in
// one step a whole update late.
void sync_worker::update(double t) {
  const double h = hop();
  const bool feed = t >= next_feed_s_;
  if (feed) next_feed_s_ = t + static_cast<double>(n_) / rate_ - 0.5 * h;
  const uint8_t before[3] = {channels_[0], channels_[1], channels_[2]};
  if (!measure_at(t, feed)) return;
  double stamp = t - 0.5 * h;
  if (rises(before, channels_)) {
    const uint8_t whole[3] = {channels_[0], channels_[1], channels_[2]};
    const band_levels whole_levels = levels_;
    bool risen = false;
    for (int quarter = 3; quarter >= 1; --quarter) {
      const double end = t - 0.25 * quarter * h;
      if (!measure_at(end, false)) continue;
      risen = risen || rises(before, channels_);
      if (risen) queue(end - 0.125 * h);
    }
    std::copy(whole, whole + 3, channels_);
    levels_ = whole_levels;
    stamp = t - 0.125 * h;
  }
  queue(stamp);
}

// A seek or a new start: the clock's time line starts again, and what was
// queued for the old one is never heard.
void sync_worker::restart() {
  s_.queue.clear();
  placed_ = false;
  retry_at_ = 0.0;
}

// Measures the updates up to one clock step past the clock's last new value
// (no further: a pause may come there), one read each; true when the slice
// ran out with work left.
bool sync_worker::measure_due(double heard) {
  const double h = hop();
  const double rate = sync_updates_per_s(s_.settings);
  // The first update after the sound that is heard: an instance that just
  // got its port, or one after a seek, lights at once; a worker held up for
  // longer than the clock model's reach does not measure what is gone.
  if (!placed_ || static_cast<double>(next_k_) * h < heard - behind_s) {
    next_k_ = static_cast<uint64_t>(std::max(0.0, std::floor(heard * rate))) + 1;
    next_feed_s_ = 0.0;
    placed_ = true;
  }
  const double limit = s_.heard.last_value() + reach_s();
  const double until = monotonic_seconds() + measure_slice_s;
  for (;;) {
    const double t = static_cast<double>(next_k_) * h;
    const double now = monotonic_seconds();
    if (t > limit || now < retry_at_) return false;
    if (now > until) return true;
    // Part of a window that is heard already is all there will be: the rest
    // is silence. Nothing at all waits a little longer, and then nothing is
    // measured for it.
    const bool late = heard > t + s_.heard.step() + given_up_s;
    const got g = read(t, late);
    if (g == got::whole || (g == got::part && heard >= t)) {
      update(t);
    } else if (!late) {
      retry_at_ = now + retry_s;
      return false;
    }
    ++next_k_;
  }
}

// While the clock runs and the player gives no audio at all for longer than
// its output buffer and a second: said once.
void sync_worker::note_dry(double now, bool moving) {
  if (audio_) dry_s_ = 0.0;
  if (moving && !audio_ && last_at_ >= 0.0) dry_s_ += now - last_at_;
  last_at_ = now;
  audio_ = false;
  const double buffer_s = s_.output_buffer_s > 0.0 ? s_.output_buffer_s : 1.0;
  if (!said_dry_ && dry_s_ > buffer_s + 1.0) {
    said_dry_ = true;
    e_.tell("sync: the player gives no played audio, nothing sent.");
  }
}

// The newest due command to the board, the older due ones dropped; the
// seconds until the next one is due (by the model), or a poll interval.
double sync_worker::send_due(double now, double heard) {
  double due = 0.0;
  const bool waiting = s_.queue.next_due(due);
  uint8_t out[3];
  if (s_.heard.paused()) {
    double wait = paused_poll_s;
    // What was heard before the clock stood still goes out all the same.
    if (s_.queue.take_due(heard, out)) {
      e_.send(out);
      fade_.sent(out);
      return 0.0;
    }
    if (fade_.standing(now, s_.heard.last_change(), s_.settings.PAUSE_FADE_MS, out, wait))
      e_.send(out);
    return wait;
  }
  const bool dimmed = fade_.moving(out);
  if (s_.queue.take_due(heard, out)) {
    e_.send(out);  // through RECONNECT when on
    fade_.sent(out);
  } else if (dimmed) {
    e_.send(out);  // the levels of before the pause, with the sound
  }
  // Moved once since it stood: the second new value makes the model move.
  if (!s_.heard.moving()) return s_.heard.changed_once() ? paused_poll_s : standing_poll_s;
  if (!waiting || !s_.queue.next_due(due)) return moving_poll_s;
  double wait = std::min(moving_poll_s, std::max(0.0, due - heard));
  // A reading just after the model's reach shows a pause at once.
  const double shows = s_.heard.pause_shows_at() + 0.0005 - now;
  if (s_.settings.PAUSE_FADE_MS > 0 && shows > 0.0) wait = std::min(wait, shows);
  return wait;
}

void sync_worker::turn() {
  const double now = monotonic_seconds();
  double value = 0.0, heard = 0.0;
  const bool answered = played_time(value);
  if (answered && s_.heard.reading(value, now)) restart();
  const bool known = answered && s_.heard.position(now, heard);
  // A waiting instance measures nothing; once it has the port it starts at
  // the sound that is heard then. Nor does one whose settings are not yet
  // loaded; one built at a chain swap need not wait for the player to run
  // it (its first chunk may come a chunk's length after the swap).
  const bool waiting = e_.waiting_for_port();
  const bool looking = known && e_.settings_ready() && !waiting;
  const bool more = looking && measure_due(heard);
  if (waiting) placed_ = false;
  // Only time spent looking for audio counts as the player giving none.
  note_dry(now, looking && s_.heard.moving());
  double wait = !answered ? standing_poll_s : known ? send_due(now, heard) : idle_poll_s;
  // The next update may be measured once the clock is within a step of its
  // end: wake then (by the model), not a poll later, or its light is late
  // by up to a poll.
  if (looking && placed_ && s_.heard.moving()) {
    const double until = static_cast<double>(next_k_) * hop() - reach_s() - heard;
    if (until > 0.0) wait = std::min(wait, until + measurable_margin_s);
  }
  if (retry_at_ > now) wait = std::min(wait, std::max(0.0, retry_at_ - monotonic_seconds()));
  if (wait > 0.0 && !more) wait_for(s_.waker, wait);
}

void sync_worker::last_turn() {
  // A command that fell due while the worker was held up goes out before the
  // closing command.
  double value = 0.0, heard = 0.0;
  const double now = monotonic_seconds();
  if (played_time(value)) s_.heard.reading(value, now);
  if (s_.heard.position(now, heard)) send_due(now, heard);
}

void sync_worker_deleter::operator()(sync_worker* w) const { delete w; }

bool sync_mode::start(driver_core& core) {
  core.limit_reply_lines(recv_line_gap_ms);
  worker_.reset(new sync_worker(core, *this));
  return true;
}

void sync_mode::turn(driver_core&) { worker_->turn(); }

void sync_mode::last_turn(driver_core&) { worker_->last_turn(); }

void sync_mode::retune(const settings_record& next) { worker_->retune(next.sync); }

}  // namespace fulgora
