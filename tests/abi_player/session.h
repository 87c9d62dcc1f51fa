// What the test player's sections share: the session with the component,
// the settings file it reads, and the board simulator's log.
#pragma once

#include "tests/abi_player/player_objects.h"
#include "tools/play/board_csv.h"

inline void* operator new(t_size, void* at) noexcept { return at; }

constexpr t_size csv_capacity = 1 << 20;

template <typename T, typename... A>
T* make(A... args) {
  return new (heap_alloc(sizeof(T))) T(args...);
}

template <typename T>
int drop(service_ptr_t<T>& p) {
  const int left = p.m_ptr ? p.m_ptr->service_release() : -1;
  p.m_ptr = nullptr;
  return left;
}

struct session {
  foobar2000_client* client = nullptr;
  dsp_entry* entry = nullptr;
  componentversion* version = nullptr;
  player_console* console = nullptr;
  player_vis_manager* vis = nullptr;
  player_output_manager* outputs = nullptr;
  player_abort abort;
  dsp_track_t no_track = {nullptr};
  wchar_t board_csv[512] = {};
  char port[64] = {};
  char* csv_text = static_cast<char*>(heap_alloc(csv_capacity));
};

// "components\foo_Fulgora.ini" in the current directory, read at instantiate.
inline bool write_settings(const char* lines) {
  char text[512] = "[SETTING]\r\n";
  memcpy(text + strlen(text), lines, strlen(lines) + 1);
  CreateDirectoryW(L"components", nullptr);
  return write_file(L"components\\foo_Fulgora.ini", text);
}

inline bool instantiate(session& s, const player_preset& preset, service_ptr_t<dsp>& out,
                        DWORD* code) {
  bool made = false;
  *code = guarded([&] { made = s.entry->instantiate(out, preset); });
  return made;
}

// The board's log: level commands, the last one's bytes, whether the
// closing command came last.
struct board_state {
  int level_commands;
  unsigned last[3];
  bool last_is_closing;
};

inline board_state read_board(const session& s) {
  board_state b = {0, {0, 0, 0}, false};
  const char* const end = s.csv_text + read_file(s.board_csv, s.csv_text, csv_capacity);
  fulgora_board_csv::row r;
  for (const char* p = s.csv_text; p < end; ++p) {
    const char* const row_end = fulgora_board_csv::row_end(p, end);
    const bool record = fulgora_board_csv::read_row(p, row_end, r);
    p = row_end;
    b.last_is_closing = record && r.closing();
    if (!record || !r.level) continue;
    ++b.level_commands;
    for (int i = 0; i < 3; ++i) b.last[i] = r.ch[i];
  }
  return b;
}

// Feeds the chunk until two more level commands arrived: the later one was
// captured from this chunk. False after 30 s.
inline bool feed_until_measured(session& s, dsp_v2* d, player_chunk& c, board_state* b) {
  const int before = read_board(s).level_commands;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 30000;) {
    player_list list;
    list.items[list.count++] = &c;
    d->run_v2(&list, s.no_track, 0, s.abort);
    Sleep(5);
    *b = read_board(s);
    if (b->level_commands >= before + 2) return true;
  }
  return false;
}

inline void show(const board_state& b) {
  out("  board: ");
  out_uint(static_cast<unsigned>(b.level_commands));
  out(" level commands, last ");
  for (unsigned v : b.last) out_uint(v), out(" ");
  out("\n");
}

// PORTNAME for the board's port, then more lines.
inline bool write_board_settings(const session& s, const char* more) {
  char lines[256] = "PORTNAME=";
  memcpy(lines + strlen(lines), s.port, strlen(s.port));
  memcpy(lines + strlen(lines), "\r\n", 3);
  memcpy(lines + strlen(lines), more, strlen(more) + 1);
  return s.port[0] && s.board_csv[0] && write_settings(lines);
}

// A sine of `cycles` periods per 4096 frames on both channels at half scale;
// the step's sine and cosine by their series (there is no maths library here).
inline void fill_tone(player_chunk& c, unsigned cycles) {
  c.channels = 2;
  c.config = 3;
  c.rate = 44100;
  c.frames = 4096;
  c.size = 2 * 4096;
  c.data = static_cast<audio_sample*>(heap_alloc(c.size * sizeof(audio_sample)));
  const double w = 2 * 3.14159265358979324 * cycles / 4096;
  double cos_w = 0, sin_w = 0, term = 1;  // term: w^n / n!
  for (int n = 0; n < 30; ++n, term *= w / n) (n % 2 ? sin_w : cos_w) += (n / 2) % 2 ? -term : term;
  double x = 1, y = 0;  // cos and sin of the frame's phase
  for (t_size i = 0; i < c.frames; ++i) {
    c.data[2 * i] = c.data[2 * i + 1] = static_cast<audio_sample>(0.5 * y);
    const double next_x = x * cos_w - y * sin_w;
    y = y * cos_w + x * sin_w;
    x = next_x;
  }
}

// Sections in files of their own.
void swap_checks(session& s);
void track_marks_checks(session& s);
void second_chain_checks(session& s);
