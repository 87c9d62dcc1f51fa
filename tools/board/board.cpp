#include "tools/board/board.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace fulgora_board {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

received decode(const std::string& line) {
  received r;
  r.text = printable(line);
  r.bytes = line.size() + 2;
  if (line == "LD") {
    r.is_closing = true;
    return r;
  }
  if (line.size() == 10 && line[0] == 'S' && line[1] == 'D' && line[4] == ',' && line[7] == ',') {
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) {
      const int hi = hex_digit(line[2 + 3 * i]), lo = hex_digit(line[3 + 3 * i]);
      ok = hi >= 0 && lo >= 0;
      if (ok) r.ch[i] = static_cast<unsigned>(hi * 16 + lo);
    }
    r.is_level = ok;
  }
  r.malformed = !r.is_level;
  return r;
}

// A finite number from 0 to max, the whole text.
bool number(const char* text, double max, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == 0 && out >= 0 && out <= max;
}

bool bad_value(const std::string& option, const char* value) {
  std::fprintf(stderr, "fulgora-board: bad value for %s: %s (see --help)\n", option.c_str(), value);
  return false;
}

// The options without a value: each sets its flag.
bool options::*switch_named(const std::string& name) {
  static const std::pair<const char*, bool options::*> switches[] = {
      {"--help", &options::help},
      {"-h", &options::help},
      {"--split", &options::split},
      {"--flood", &options::flood},
      {"--line-speed", &options::line_speed},
      {"--no-read", &options::no_read},
      {"--quiet", &options::quiet},
      {"--monotonic", &options::monotonic}};
  for (const auto& s : switches)
    if (name == s.first) return s.second;
  return nullptr;
}

}  // namespace

bool parse_options(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    const bool takes_value = a == "--reply" || a == "--late" || a == "--count" ||
                             a == "--seconds" || a == "--csv" || a == "--link";
    double v = 0;
    if (takes_value && !has_value) {
      std::fprintf(stderr, "fulgora-board: %s needs a value (see --help)\n", a.c_str());
      return false;
    }
    if (bool options::*on = switch_named(a))
      o.*on = true;
    else if (a == "--reply") {
      o.reply = argv[++i];
      if (o.reply != "ok" && o.reply != "error" && o.reply != "silent")
        return bad_value(a, argv[i]);
    } else if (a == "--late") {
      // An hour at most: the value becomes whole milliseconds.
      if (!number(argv[++i], 3600e3, v)) return bad_value(a, argv[i]);
      o.late_ms = static_cast<long>(v);
    } else if (a == "--count") {
      if (!number(argv[++i], 1e9, v)) return bad_value(a, argv[i]);
      o.count = static_cast<long>(v);
    } else if (a == "--seconds") {
      if (!number(argv[++i], 1e9, v)) return bad_value(a, argv[i]);
      o.seconds = v;
    } else if (a == "--csv")
      o.csv = argv[++i];
    else if (a == "--link")
      o.link = argv[++i];
    else {
      std::fprintf(stderr, "fulgora-board: unknown option %s (see --help)\n", a.c_str());
      return false;
    }
  }
  return true;
}

std::vector<received> board::feed(const char* data, size_t n) {
  std::vector<received> lines;
  for (size_t i = 0; i < n; ++i) {
    pending += data[i];
    const size_t len = pending.size();
    if (len >= 2 && pending[len - 2] == '\r' && pending[len - 1] == '\n') {
      received r = decode(pending.substr(0, len - 2));
      pending.clear();
      ++stats.lines;
      if (r.is_level) {
        ++stats.levels;
        std::memcpy(ch, r.ch, sizeof ch);
      } else if (r.is_closing) {
        ++stats.closings;
      } else {
        ++stats.malformed;
      }
      lines.push_back(r);
    } else if (len > 4096) {  // a flood without line ends: count it once and start over
      received r = decode(pending.substr(0, 64));
      r.malformed = true;
      pending.clear();
      ++stats.lines;
      ++stats.malformed;
      lines.push_back(r);
    }
  }
  return lines;
}

std::vector<piece> answer_for(const received& r, const options& o) {
  std::vector<piece> out;
  if (o.reply == "silent") return out;
  std::string reply = (o.reply == "error" || r.malformed) ? "ER\r\n" : "OK\r\n";
  if (o.flood) reply = std::string(300, '\x55');
  double delay = o.late_ms / 1000.0;
  // 10 bits a byte at 38400 baud: the command arrives, then the answer goes out.
  if (o.line_speed) delay += (r.bytes + reply.size()) * 10.0 / 38400.0;
  if (o.split && reply.size() > 1) {
    out.push_back({delay, reply.substr(0, reply.size() - 1)});
    out.push_back({delay + 0.003, reply.substr(reply.size() - 1)});
  } else {
    out.push_back({delay, reply});
  }
  return out;
}

std::string csv_quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string bars(const board& b) {
  std::string s = "\r";
  for (int i = 0; i < 3; ++i) {
    const int filled = static_cast<int>(b.ch[i] * 20 / 255);
    char head[32];
    std::snprintf(head, sizeof head, "ch%d %3u [", i, b.ch[i]);
    s += head;
    s += std::string(filled, '#') + std::string(20 - filled, ' ') + "]  ";
  }
  char tail[48];
  std::snprintf(tail, sizeof tail, "cmds %ld", b.stats.lines);
  return s + tail;
}

}  // namespace fulgora_board
