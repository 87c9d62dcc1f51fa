// The player's chain helper beyond one DSP and one track. Track marks: with a
// DSP after ours that asks for them (a crossfader), ours gets FLUSH with
// every END_OF_TRACK while playback and its clock go on without a break.
// Second chain: the player's converter runs a chain with our DSP (the same
// settings, the same port) faster than real time while playback plays.
// Sync mode, the clock set by hand; a low tone lights only channel 0 and a
// high tone only channel 2, so the board's log tells the audio apart.
#include "tests/abi_player/session.h"

namespace {

struct tone_counts {
  int low = 0, high = 0;  // level commands lit by the low tone only, by the high one
};

tone_counts read_tones(const session& s, t_size from) {
  tone_counts t;
  const char* const end = s.csv_text + read_file(s.board_csv, s.csv_text, csv_capacity);
  fulgora_board_csv::row r;
  for (const char* p = s.csv_text + from; p < end; ++p) {
    const char* const row_end = fulgora_board_csv::row_end(p, end);
    const bool record = fulgora_board_csv::read_row(p, row_end, r);
    p = row_end;
    if (!record || !r.level) continue;
    t.low += r.ch[0] > 0 && r.ch[2] == 0;
    t.high += r.ch[2] > 0;
  }
  return t;
}

void show_tones(const tone_counts& t) {
  out("  board: ");
  out_uint(static_cast<unsigned>(t.low));
  out(" commands of the low tone, ");
  out_uint(static_cast<unsigned>(t.high));
  out(" of the high one\n");
}

// Until the worker has read the clock `times` more times: it has looked at
// everything queued against the clock's value (or limit_ms).
void let_worker_look(session& s, long times, DWORD limit_ms = 30000) {
  const long queried = s.vis->clock.queries;
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < limit_ms && s.vis->clock.queries - queried < times;)
    Sleep(5);
}

// The log's end once the section before has closed the port.
t_size after_last_closing(session& s) {
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < 10000 && !read_board(s).last_is_closing;)
    Sleep(20);
  return read_file(s.board_csv, s.csv_text, csv_capacity);
}

void feed(session& s, service_ptr_t<dsp>& d, player_chunk& c, int chunks, int last_flags,
          DWORD pause_ms) {
  for (int i = 0; i < chunks; ++i) {
    player_list list;
    list.items[list.count++] = &c;
    static_cast<dsp_v2*>(d.m_ptr)->run_v2(&list, s.no_track, i + 1 == chunks ? last_flags : 0,
                                          s.abort);
    Sleep(pause_ms);
  }
}

bool sync_settings(session& s) {
  return check(write_board_settings(s, "SYNC=1\r\nLOW_RATIO=40\r\nHI_RATIO=1000\r\n"),
               "settings file with SYNC=1 and the two tones' bands");
}

}  // namespace

// Track A (low, 0 to 0.74 s) ends with END_OF_TRACK | FLUSH; track B (high,
// 0.74 to 1.49 s) follows without a break.
void track_marks_checks(session& s) {
  if (!sync_settings(s)) return;
  player_clock& clock = s.vis->clock;
  clock.now_ms = 0;
  const t_size from = after_last_closing(s);
  player_chunk low, high;
  fill_tone(low, 20);
  fill_tone(high, 1024);
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> d = {nullptr};
  DWORD code;
  if (!check(instantiate(s, preset, d, &code) && code == 0, "DSP for a gapless track change"))
    return;
  code = guarded([&] {
    feed(s, d, low, 8, dsp::END_OF_TRACK | dsp::FLUSH, 5);
    feed(s, d, high, 8, 0, 5);
  });
  check(code == 0, "track A ends with END_OF_TRACK and FLUSH, track B runs on");
  // What is played: track A's 8 chunks of 4096 frames, then track B.
  clock.played = &low;
  clock.played_then = &high;
  clock.then_ms = 743;
  clock.now_ms = 500;  // inside track A
  let_worker_look(s, 300);
  const tone_counts at_half = read_tones(s, from);
  show_tones(at_half);
  check(at_half.low > 0 && at_half.high == 0,
        "clock inside track A: its played audio lights, track B's not yet");
  // On to inside track B in steps: of commands due at once only the newest goes.
  for (long ms = 520; ms <= 1300; ms += 20) {
    clock.now_ms = ms;
    let_worker_look(s, 10, 1000);
  }
  tone_counts later = at_half;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000 && later.high == 0;) {
    Sleep(20);
    later = read_tones(s, from);
  }
  show_tones(later);
  check(later.low > at_half.low, "track A's last moments still light as the clock passes them");
  check(later.high > 0, "clock inside track B: its commands come");
  check(drop(d) == 0 && clock.refs == 0, "the gapless DSP released");
  clock.played = clock.played_then = nullptr;
}

// Playback's instance holds the port; the converter's instance is made, runs
// 3.7 s of the high tone in well under a second and is released.
void second_chain_checks(session& s) {
  if (!sync_settings(s)) return;
  player_clock& clock = s.vis->clock;
  clock.now_ms = 0;
  const t_size from = after_last_closing(s);
  s.console->length = 0;
  s.console->log[0] = 0;
  player_chunk low, high;
  fill_tone(low, 20);
  fill_tone(high, 1024);
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> playback = {nullptr}, converter = {nullptr};
  DWORD code;
  if (!check(instantiate(s, preset, playback, &code) && code == 0, "playback's DSP")) return;
  clock.played = &low;  // only playback is heard
  code = guarded([&] { feed(s, playback, low, 8, 0, 5); });
  clock.now_ms = 300;
  let_worker_look(s, 100);
  const bool made = instantiate(s, preset, converter, &code);
  if (made && code == 0)
    code = guarded([&] { feed(s, converter, high, 40, dsp::END_OF_TRACK | dsp::FLUSH, 1); });
  check(made && code == 0 && drop(converter) == 0,
        "the converter's DSP made, run faster than real time and released");
  code = guarded([&] { feed(s, playback, low, 8, 0, 5); });
  clock.now_ms = 1300;
  let_worker_look(s, 300);
  const tone_counts t = read_tones(s, from);
  show_tones(t);
  check(code == 0 &&
            (equal(s.console->log, "successful com open.\n") ||
             equal(s.console->log, "successful com open.\ncom port in use by another instance.\n")),
        "console: playback's open only (the converter may say it waits)");
  check(t.low > 0 && t.high == 0, "playback drives the board; the converter's audio never does");
  const int before = t.low;
  code = guarded([&] { feed(s, playback, low, 8, 0, 5); });
  clock.now_ms = 2100;
  tone_counts later = t;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000 && later.low == before;) {
    Sleep(20);
    later = read_tones(s, from);
  }
  check(code == 0 && later.low > before && later.high == 0,
        "after the converter, playback's commands still come as its clock reaches them");
  check(drop(playback) == 0 && contains(s.console->log, "successful com close."),
        "playback's release closes the port");
  clock.played = nullptr;
}
