// What the test player's sections share: the session with the component,
// the settings file it reads, and the board simulator's log.
#pragma once

#include "tests/abi_player/player_objects.h"

inline void* operator new(t_size, void* at) noexcept { return at; }

constexpr GUID dsp_guid = {0x5263A499, 0x99DB, 0x4572, {0x81, 0x47, 0xD3, 0xEA, 0x27, 0x21, 0x9B, 0x12}};
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

inline bool instantiate(session& s, const player_preset& preset, service_ptr_t<dsp>& out, DWORD* code) {
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
  read_file(s.board_csv, s.csv_text, csv_capacity);
  // Lines: time_s,"text",ch0,ch1,ch2
  for (char* line = s.csv_text; *line;) {
    char* end = line;
    while (*end && *end != '\n') ++end;
    const bool more = *end != 0;
    *end = 0;
    b.last_is_closing = contains(line, ",\"LD\"");
    const char* q = line;
    while (*q && !starts_with(q, ",\"SD")) ++q;
    if (*q) {
      ++b.level_commands;
      while (*q && !starts_with(q, "\",")) ++q;
      for (int i = 0; i < 3 && *q; ++i) {
        ++q;
        if (i == 0) ++q;
        b.last[i] = 0;
        for (; *q >= '0' && *q <= '9'; ++q) b.last[i] = b.last[i] * 10 + static_cast<unsigned>(*q - '0');
      }
    }
    line = more ? end + 1 : end;
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

// Sections in files of their own.
void swap_checks(session& s);
