#include "tools/play/transport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace fulgora_play {
namespace {

std::string chain_note(double at, bool swap) {
  char note[160];
  std::snprintf(
      note, sizeof note,
      swap ? "fulgora-play: DSP chain swapped at %.2f s: a new instance made, the old one "
             "run once more with FLUSH and released\n"
           : "fulgora-play: DSP chain rebuilt at %.2f s: ours kept, run on without FLUSH\n",
      at);
  return note;
}

double output_seconds(const std::vector<const audio_chunk*>& chunks) {
  double s = 0;
  for (const audio_chunk* c : chunks)
    if (c->get_srate() != 0) s += static_cast<double>(c->get_sample_count()) / c->get_srate();
  return s;
}

}  // namespace

transport::transport(const options& o, const std::vector<decoded_audio>& audio, board_watch& board,
                     live_view& view, const std::atomic<bool>& interrupted)
    : start(std::chrono::steady_clock::now()),
      output(o.buffer_ms / 1000.0),
      played(o.vis),
      o_(o),
      audio_(audio),
      board_(board),
      view_(view),
      interrupted_(interrupted),
      seek_pending_(o.seek_at >= 0),
      pause_pending_(o.pause_at >= 0),
      swap_pending_(o.swap_at >= 0),
      rebuild_pending_(o.rebuild_at >= 0),
      second_pending_(o.second_at >= 0) {
  // Each line the board logs is placed by its own time stamp.
  board.log.start_s = std::chrono::duration<double>(start.time_since_epoch()).count();
  board.log.track_of = [this](double monotonic_s) { return track_at(monotonic_s); };
}

void transport::offer_clock(playback_clock& clock) {
  clock.start = start;
  clock.step_s = o_.clock_step_ms / 1000.0;
  if (!o_.fast) clock.output = &output;
  clock.played = &played;
  clock.sound = o_.fast ? nullptr : sound_;
  clock_ = &clock;
}

double transport::since_start() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double transport::position() const {
  return o_.fast ? report.played_s : output.heard_position(since_start());
}

double transport::track_at(double monotonic_s) const {
  const double at = monotonic_s - board_.log.start_s;
  if (!o_.fast) return output.heard_position(at);
  const auto after =
      std::upper_bound(played_at_.begin(), played_at_.end(), std::make_pair(at, 1e300));
  return after == played_at_.begin() ? 0.0 : std::prev(after)->second;
}

bool transport::run(dsp_entry& entry, const dsp_preset& preset, service_ptr_t<dsp>& instance,
                    std::string& error) {
  auto last_refresh = std::chrono::steady_clock::now();
  chain_ = std::make_unique<player_chain>(entry, preset, instance, o_.after);
  while (!interrupted_) {
    const double now = since_start();
    if (!o_.fast) follow_output(now);
    follow_second_chain(entry, preset);
    const bool more = file_ < audio_.size();
    if (!more && sound_) sound_->finish();
    if (!more && (o_.fast || (drained(now) && resume_at_ < 0))) break;
    if (more && (o_.fast || wants_more(now))) {
      if (!run_chunk()) {
        error = "the DSP entry refused to instantiate the new chain's DSP";
        return false;
      }
    } else {
      idle_.wait(0.001);
    }
    if (std::chrono::steady_clock::now() - last_refresh > std::chrono::milliseconds(40)) {
      last_refresh = std::chrono::steady_clock::now();
      board_.refresh(position());
    }
  }
  report.interrupted = interrupted_;
  if (!second_.join(interrupted_)) {
    error = "the DSP entry refused to instantiate the second chain's DSP";
    return false;
  }
  return true;
}

bool transport::wants_more(double now) {
  return sound_ ? sound_->wants_more() : output.wants_more(now);
}

bool transport::drained(double now) { return sound_ ? sound_->drained() : output.drained(now); }

// --pause and --seek, when the heard position reaches them.
void transport::follow_output(double now) {
  if (sound_) output.follow(now, sound_->heard_clock());
  const double heard = output.heard_position(now);
  if (pause_pending_ && heard >= o_.pause_at) {
    output.pause(now);
    if (sound_) sound_->pause(true);
    pause_pending_ = false;
    resume_at_ = now + o_.pause_for;
    char note[120];
    std::snprintf(note, sizeof note, "fulgora-play: paused at %.2f s for %.2f s\n", heard,
                  o_.pause_for);
    mark(play_event::pause, heard, o_.pause_for, note);
  } else if (resume_at_ >= 0 && now >= resume_at_) {
    output.resume(now);
    if (sound_) sound_->pause(false);
    resume_at_ = -1;
  }
  if (seek_pending_ && heard >= o_.seek_at) {
    seek_pending_ = false;
    // The player empties its output, then tells the DSP; decoding goes on
    // from the new position.
    output.seek(now, o_.seek_to);
    if (sound_) sound_->flush();
    played.restart();
    if (bands) bands->seek(heard, o_.seek_to);
    chain_->flush();
    seek_cursor(o_.seek_to);
    char note[160];
    std::snprintf(note, sizeof note,
                  "fulgora-play: seek at %.2f s to %.2f s: the output emptied, the DSP flushed\n",
                  heard, o_.seek_to);
    mark(play_event::seek, heard, o_.seek_to, note);
  }
}

// --second-chain: started when the position reaches it, said when it ends.
void transport::follow_second_chain(dsp_entry& entry, const dsp_preset& preset) {
  char note[96];
  if (second_pending_ && position() >= o_.second_at) {
    second_pending_ = false;
    second_running_ = true;
    second_.start(entry, preset, o_.second_for);
    std::snprintf(note, sizeof note, "fulgora-play: second chain started at %.2f s\n", position());
    view_.aside(note);
  } else if (second_running_ && !second_.running()) {
    second_running_ = false;
    std::snprintf(note, sizeof note, "fulgora-play: second chain ended at %.2f s\n", position());
    view_.aside(note);
  }
}

bool transport::run_chunk() {
  const decoded_audio& a = audio_[file_];
  const size_t frames = std::min<size_t>(o_.chunk, a.frames - at_);
  const audio_sample* source = a.samples.data() + at_ * a.channels;
  chunk_.set_data(source, frames, a.channels, a.rate);
  list_.set(&chunk_);
  if (frames == 0) list_.remove_by_idx(0);  // an empty file: its track ends with no audio
  const bool last_of_file = at_ + frames >= a.frames;
  int flags = last_of_file ? dsp::END_OF_TRACK : 0;
  if (last_of_file && file_ + 1 == audio_.size()) flags |= dsp::FLUSH;
  if (!run_dsp(flags)) return false;
  report.chunks += frames > 0;
  const bool same = frames == 0 ? list_.get_count() == 0
                                : list_.get_count() == 1 && list_.get_item(0) == &chunk_ &&
                                      std::memcmp(chunk_.get_data(), source,
                                                  sizeof(audio_sample) * frames * a.channels) == 0;
  report.changed += !same;
  if (sound_) play_chunks();
  const double seconds = static_cast<double>(frames) / a.rate;
  report.played_s += seconds;
  if (o_.fast) played_at_.emplace_back(since_start(), report.played_s);
  if (!o_.fast) keep_played();
  if (board_.pacing() && a.channels == 2) board_.pace();
  at_ += frames;
  if (last_of_file) {
    ++file_;
    at_ = 0;
  }
  return true;
}

// What left the chain, to the output model and the played audio, keyed by
// the clock the component reads (the card's, where it plays).
void transport::keep_played() {
  const double now = since_start();
  output.write(now, output_seconds(out_));
  double clock = 0;
  if (clock_) clock_->get_absolute_time(clock);
  for (const audio_chunk* c : out_) {
    played.write(*c, now, clock);
    if (bands) bands->write(*c);
  }
}

// What left the chain, to the sound card; when the card stops answering,
// the model plays on.
void transport::play_chunks() {
  const decoded_audio& opened = audio_.front();  // the card plays this format
  for (const audio_chunk* c : out_) {
    if (c->get_sample_count() == 0) continue;
    if (c->get_srate() == opened.rate && c->get_channels() == opened.channels &&
        sound_->write(c->get_data(), c->get_sample_count()))
      continue;
    if (clock_) clock_->sound = nullptr;
    sound_ = nullptr;
    view_.aside(
        "fulgora-play: the sound device stopped answering, or the chain changed the format; "
        "the modelled output plays on\n");
    return;
  }
}

// The chunk through the chain, reconfigured once --swap-at or --rebuild-at
// is reached.
bool transport::run_dsp(int flags) {
  const double at = position();
  const bool swap = swap_pending_ && at >= o_.swap_at;
  const bool rebuild = rebuild_pending_ && at >= o_.rebuild_at;
  if (swap) chain_->reconfigure(true);
  if (rebuild) chain_->reconfigure(false);
  swap_pending_ = swap_pending_ && !swap;
  rebuild_pending_ = rebuild_pending_ && !rebuild;
  if (!chain_->run(list_, flags, out_)) return false;
  if (swap) mark(play_event::swap, at, at, chain_note(at, true));
  if (rebuild) view_.aside(chain_note(at, false));
  return true;
}

void transport::mark(play_event::kind_t kind, double at_s, double to_s, const std::string& note) {
  events.push_back({kind, at_s, to_s, since_start()});
  view_.aside(note);
}

// The file and frame at a position in seconds of all the files as one stream.
void transport::seek_cursor(double position) {
  for (file_ = 0; file_ < audio_.size(); ++file_) {
    const decoded_audio& a = audio_[file_];
    const auto frame = static_cast<size_t>(std::llround(std::max(0.0, position) * a.rate));
    if (frame < a.frames) {
      at_ = frame;
      return;
    }
    position -= static_cast<double>(a.frames) / a.rate;
  }
  at_ = 0;
}

}  // namespace fulgora_play
