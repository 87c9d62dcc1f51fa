// The simulated board's logic, apart from the terminal: splitting the byte
// stream into command lines, decoding them, and choosing the answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fulgora_board {

struct options {
  std::string reply = "ok";  // ok, error, silent
  long late_ms = 0;
  bool split = false, flood = false, line_speed = false, no_read = false, quiet = false,
       help = false, monotonic = false;
  std::string csv, link;
  long count = 0;
  double seconds = 0;
};

bool parse_options(int argc, char** argv, options& o);

struct received {
  std::string text;  // the line without CR LF, non-printable bytes as \xNN
  bool is_level = false;
  bool is_closing = false;
  bool malformed = false;
  unsigned ch[3] = {0, 0, 0};
  size_t bytes = 0;  // on the wire, with CR LF
};

struct stats_t {
  long lines = 0, levels = 0, closings = 0, malformed = 0;
};

struct board {
  std::string pending;  // bytes of an incomplete line
  unsigned ch[3] = {0, 0, 0};
  stats_t stats;
  // Takes received bytes; returns the lines they completed.
  std::vector<received> feed(const char* data, size_t n);
};

struct piece {
  double delay_s;
  std::string bytes;
};

// What the board sends back for one line, with delays from now.
std::vector<piece> answer_for(const received& r, const options& o);

// A CSV field: in double quotes, inner quotes doubled.
std::string csv_quote(const std::string& text);

// One redraw of the live view: three bars, carriage return first.
std::string bars(const board& b);

}  // namespace fulgora_board
