// The simulated board's CSV log, one row at a time: time_s,"line",ch0,ch1,ch2
// (the three bytes only for a level command; the header row is no record).
// Header-only and without any library, so the test player, which has no C++
// runtime, reads the log with the same code as the stand-in.
#pragma once

namespace fulgora_board_csv {

struct row {
  unsigned long seconds = 0;   // time_s: whole seconds
  unsigned long micros = 0;    // and its six decimals
  const char* text = nullptr;  // the line the board received, quotes off
  unsigned long text_length = 0;
  const char* after_time = nullptr;  // the row from the comma after time_s on
  bool level = false;                // a level command: ch holds its bytes
  unsigned ch[3] = {0, 0, 0};
  bool closing() const { return text_length == 2 && text[0] == 'L' && text[1] == 'D'; }
};

// Where the row starting at p ends: its '\n', or end.
inline const char* row_end(const char* p, const char* end) {
  while (p < end && *p != '\n') ++p;
  return p;
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the row [p, end) (no line end). False for the header and for a row
// that is no record.
inline bool read_row(const char* p, const char* end, row& out) {
  out = row();
  if (p == end || !is_digit(*p)) return false;
  for (; p < end && is_digit(*p); ++p)
    out.seconds = out.seconds * 10 + static_cast<unsigned>(*p - '0');
  if (p < end && *p == '.')
    for (unsigned long scale = 100000; ++p < end && is_digit(*p); scale /= 10)
      out.micros += scale * static_cast<unsigned>(*p - '0');
  if (end - p < 3 || p[0] != ',' || p[1] != '"') return false;
  out.after_time = p;
  // The text runs to the last quote: the board doubles the quotes inside.
  const char* open = p + 1;
  const char* close = end - 1;
  while (close > open && *close != '"') --close;
  if (close == open) return false;
  out.text = open + 1;
  out.text_length = static_cast<unsigned long>(close - open - 1);
  const char* q = close + 1;
  for (int i = 0; i < 3; ++i) {
    if (q == end || *q != ',' || ++q == end || !is_digit(*q)) return true;
    for (; q < end && is_digit(*q); ++q)
      out.ch[i] = out.ch[i] * 10 + static_cast<unsigned>(*q - '0');
  }
  out.level = true;
  return true;
}

}  // namespace fulgora_board_csv
