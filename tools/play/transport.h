// The player's transport: the decoded files through the DSP chunk by chunk,
// at the audio rate against the modelled output (its burst at the start,
// --pause, --seek, the heard clock in --clock-step steps) or --fast, the
// chain of the chain helper (chain.h) swapped or rebuilt at --swap-at and
// --rebuild-at, a second chain at --second-chain, and every chunk checked to leave the DSP
// bit-identical.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tools/play/band_levels.h"
#include "tools/play/board_watch.h"
#include "tools/play/chain.h"
#include "tools/play/decoder.h"
#include "tools/play/idle_wait.h"
#include "tools/play/options.h"
#include "tools/play/output_model.h"
#include "tools/play/player_host.h"
#include "tools/play/plot.h"
#include "tools/play/second_chain.h"
#include "tools/play/sound_output.h"

namespace fulgora_play {

struct play_report {
  size_t chunks = 0;
  size_t changed = 0;  // chunks the DSP altered
  bool interrupted = false;
  double played_s = 0;  // audio that went through the DSP
};

class transport {
 public:
  // Starts the clock: its time line begins now.
  transport(const options& o, const std::vector<decoded_audio>& audio, board_watch& board,
            live_view& view, const std::atomic<bool>& interrupted);
  // Plays to the sound card as well, whose position the model then follows
  // and the player's clock reports; before offer_clock.
  void play_to(sound_output* sound) { sound_ = sound; }
  // The player's clock, offered to the component unless --fast; before the
  // DSP is made, which asks for it then.
  void offer_clock(playback_clock& clock);
  // Plays to the end or an interrupt; false with a one-line reason when the
  // entry makes no DSP for the swapped chain.
  bool run(dsp_entry& entry, const dsp_preset& preset, service_ptr_t<dsp>& instance,
           std::string& error);
  double since_start() const;
  // Where the listener is: the heard position (with --fast, the played one).
  double position() const;
  // Where the listener was at a time on the monotonic clock (seconds): the
  // heard position then, or with --fast what had been played by then.
  double track_at(double monotonic_s) const;

  const std::chrono::steady_clock::time_point start;
  output_model output;
  played_audio played;  // what the clock's streams serve
  play_report report;
  std::vector<play_event> events;  // seeks, pauses and swaps, for the picture
  heard_bands* bands = nullptr;    // when given: what is played, measured for the picture

 private:
  void follow_output(double now);
  void follow_second_chain(dsp_entry& entry, const dsp_preset& preset);
  bool wants_more(double now);
  bool drained(double now);
  void play_chunks();
  void keep_played();
  bool run_chunk();
  bool run_dsp(int flags);
  void seek_cursor(double position);

  void mark(play_event::kind_t kind, double at_s, double to_s, const std::string& note);

  const options& o_;
  const std::vector<decoded_audio>& audio_;
  board_watch& board_;
  live_view& view_;
  const std::atomic<bool>& interrupted_;
  size_t file_ = 0, at_ = 0;  // where the next chunk starts
  bool seek_pending_, pause_pending_, swap_pending_, rebuild_pending_, second_pending_;
  double resume_at_ = -1;
  sound_output* sound_ = nullptr;
  playback_clock* clock_ = nullptr;
  chunk_list list_;
  audio_chunk_impl chunk_;
  std::unique_ptr<player_chain> chain_;
  std::vector<const audio_chunk*> out_;  // what the chain hands the output
  second_chain second_;
  bool second_running_ = false;
  idle_wait idle_;
  std::vector<std::pair<double, double>> played_at_;  // --fast: since start, played_s
};

}  // namespace fulgora_play
