// The player's DSP chain swap (its chain helper, when the chain's
// configuration changes during playback): the new chain's DSP is made while
// the old one holds the port, the old one runs once more with FLUSH and is
// released, then the new one runs. The old instance hears only a low tone and
// the new one only a high tone, so the board's log tells their commands apart.
#include "tests/abi_player/session.h"

namespace {

// The board's log from a byte offset on, as the checks judge it.
struct swap_log {
  bool closed = false;                 // the old instance's closing command came
  int before = 0, after = 0;           // level commands before and after it
  int foreign = 0;                     // before it, commands not of the low tone
  bool new_lit = false;                // after it, one of the high tone
  unsigned closed_ms = 0, gap_ms = 0;  // its time; from it to the next level command
};

swap_log read_swap(const session& s, t_size from) {
  swap_log log;
  const char* const end = s.csv_text + read_file(s.board_csv, s.csv_text, csv_capacity);
  fulgora_board_csv::row r;
  for (const char* p = s.csv_text + from; p < end; ++p) {
    const char* const row_end = fulgora_board_csv::row_end(p, end);
    const bool record = fulgora_board_csv::read_row(p, row_end, r);
    p = row_end;
    if (!record) continue;
    const unsigned ms = static_cast<unsigned>(r.seconds * 1000 + r.micros / 1000);
    if (r.closing() && !log.closed) {
      log.closed = true;
      log.closed_ms = ms;
    } else if (r.level && !log.closed) {
      ++log.before;
      log.foreign += !(r.ch[0] > 0 && r.ch[2] == 0);
    } else if (r.level) {
      if (++log.after == 1) log.gap_ms = ms - log.closed_ms;
      log.new_lit = log.new_lit || r.ch[2] > 0;
    }
  }
  return log;
}

dsp_v2* as_v2(service_ptr_t<dsp>& d) { return static_cast<dsp_v2*>(d.m_ptr); }

}  // namespace

void swap_checks(session& s) {
  if (!check(write_board_settings(s, "LOW_RATIO=40\r\nHI_RATIO=1000\r\n"),
             "settings file for the swap"))
    return;
  player_chunk low, high;
  fill_tone(low, 20);     // 215 Hz
  fill_tone(high, 1024);  // 11025 Hz
  // The log from here on: after the closing command of the section before.
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < 10000 && !read_board(s).last_is_closing;)
    Sleep(20);
  const t_size from = read_file(s.board_csv, s.csv_text, csv_capacity);
  s.console->length = 0;
  s.console->log[0] = 0;
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> old_dsp = {nullptr}, new_dsp = {nullptr};
  DWORD code;
  if (!check(instantiate(s, preset, old_dsp, &code) && code == 0, "the old chain's DSP")) return;
  board_state b;
  bool fed = false;
  code = guarded([&] { fed = feed_until_measured(s, as_v2(old_dsp), low, &b); });
  show(b);
  check(code == 0 && fed, "the old instance lights the board");

  const bool made = instantiate(s, preset, new_dsp, &code);
  player_list last;
  last.items[last.count++] = &low;
  if (made && code == 0)
    code = guarded([&] { as_v2(old_dsp)->run_v2(&last, s.no_track, dsp::FLUSH, s.abort); });
  check(made && code == 0 && drop(old_dsp) == 0,
        "the swap: new instance made, the old one's last run with FLUSH, the old one released");
  if (!new_dsp.m_ptr) return;
  swap_log log;
  code = guarded([&] {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000 && !log.new_lit;
         Sleep(5)) {
      player_list list;
      list.items[list.count++] = &high;
      as_v2(new_dsp)->run_v2(&list, s.no_track, 0, s.abort);
      log = read_swap(s, from);
    }
  });
  out("  board: ");
  out_uint(static_cast<unsigned>(log.before));
  out(" level commands before the closing command, ");
  out_uint(static_cast<unsigned>(log.after));
  out(" after; the first ");
  out_uint(log.gap_ms);
  out(" ms after it\n");
  check(code == 0 && equal(s.console->log,
                           "successful com open.\nsuccessful com close.\nsuccessful com open.\n"),
        "console: open, close, open");
  check(log.closed && log.before > 0 && log.foreign == 0,
        "the board gets the old instance's closing command before any command of the new one");
  check(log.new_lit && log.gap_ms <= 300,
        "the new instance lights within 300 ms of the old one's release");
  check(drop(new_dsp) == 0 && contains(s.console->log, "open.\nsuccessful com close.\n"),
        "the new instance's release closes the port");
}
