#include "tools/play/extras.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace fulgora_play {

namespace {

std::string upper_trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  std::string t = s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

bool is_port_key(const std::string& line) {
  const size_t eq = line.find('=');
  return eq != std::string::npos && upper_trimmed(line.substr(0, eq)) == "PORTNAME";
}

std::string escape_xml(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

}  // namespace

std::string with_port(const std::string& ini, const std::string& port) {
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = ini.find('\n', start);
    lines.push_back(ini.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const std::string entry = "PORTNAME=" + port + "\r";
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size() && header == lines.size(); ++i)
    if (upper_trimmed(lines[i]) == "[SETTING]") header = i;
  if (header == lines.size()) {
    lines.insert(lines.begin(), {"[SETTING]\r", entry});
  } else {
    size_t i = header + 1;
    while (i < lines.size() && upper_trimmed(lines[i]).rfind("[", 0) != 0 && !is_port_key(lines[i]))
      ++i;
    if (i < lines.size() && is_port_key(lines[i]))
      lines[i] = entry;
    else
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(header) + 1, entry);
  }
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) out += lines[i] + (i + 1 < lines.size() ? "\n" : "");
  return out;
}

std::string printable_line(const std::string& line) {
  size_t length = line.size();
  if (length > 0 && line[length - 1] == '\n') --length;
  if (length > 0 && line[length - 1] == '\r') --length;
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out + "\n";
}

void board_log::poll(double track_s, std::vector<board_record>& out) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  in.seekg(offset_);
  std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  offset_ += static_cast<long>(chunk.size());
  partial_ += chunk;
  size_t at;
  while ((at = partial_.find('\n')) != std::string::npos) {
    const std::string row = partial_.substr(0, at);
    partial_.erase(0, at + 1);
    if (row.rfind("time_s", 0) == 0) continue;
    // time_s,"line",ch0,ch1,ch2
    const size_t q1 = row.find('"'), q2 = row.rfind('"');
    if (q1 == std::string::npos || q2 <= q1) continue;
    const std::string text = row.substr(q1 + 1, q2 - q1 - 1);
    const std::string rest = row.substr(q2 + 1);
    unsigned a, b, c;
    if (std::sscanf(rest.c_str(), ",%u,%u,%u", &a, &b, &c) == 3) {
      ++levels;
      board_record r;
      r.track_s = track_s;
      r.ch[0] = a;
      r.ch[1] = b;
      r.ch[2] = c;
      out.push_back(r);
    } else if (text == "LD") {
      ++closings;
    } else {
      ++others;
    }
  }
}

bool write_heard_log(const std::string& board_csv, const std::string& path, double start_s,
                     const output_model& output) {
  std::ifstream in(board_csv, std::ios::binary);
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  out << "time_s,heard_s,line,ch0,ch1,ch2\n";
  std::string row;
  while (std::getline(in, row)) {
    if (row.rfind("time_s", 0) == 0) continue;
    const size_t comma = row.find(',');
    if (comma == std::string::npos) continue;
    const double t = std::strtod(row.c_str(), nullptr) - start_s;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%.6f,%.6f", t, output.heard_position(t));
    out << stamp << row.substr(comma) << "\n";
  }
  return static_cast<bool>(out);
}

void live_view::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  clear_block();
  std::fwrite(text.data(), 1, text.size(), stdout);
  draw_block();
  std::fflush(stdout);
}

void live_view::aside(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  clear_block();
  std::fflush(stdout);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  draw_block();
  std::fflush(stdout);
}

void live_view::status(double elapsed, double total, const unsigned* channels, long commands) {
  if (!enabled_) return;
  std::lock_guard<std::mutex> lock(m_);
  std::vector<std::string> block;
  const double fraction = total > 0 ? std::min(1.0, elapsed / total) : 0;
  const int width = 40, done = static_cast<int>(std::lround(fraction * width));
  char head[160];
  std::snprintf(head, sizeof head, "  [%s%s] %d:%04.1f / %d:%04.1f", std::string(done, '=').c_str(),
                std::string(width - done, ' ').c_str(), static_cast<int>(elapsed) / 60,
                std::fmod(elapsed, 60.0), static_cast<int>(total) / 60, std::fmod(total, 60.0));
  block.push_back(head);
  if (channels) {
    static const char* names[3] = {"ch0", "ch1", "ch2"};
    static const char* colours[3] = {"\x1b[31m", "\x1b[32m", "\x1b[34m"};
    for (int i = 0; i < 3; ++i) {
      const int n = static_cast<int>(channels[i] * 48 / 255);
      char row[200];
      std::snprintf(row, sizeof row, "  %s %3u %s%s\x1b[0m%s|", names[i], channels[i], colours[i],
                    std::string(n, '#').c_str(), std::string(48 - n, ' ').c_str());
      block.push_back(row);
    }
    char count[64];
    std::snprintf(count, sizeof count, "  board: %ld level commands", commands);
    block.push_back(count);
  }
  clear_block();
  block_ = block;
  draw_block();
  std::fflush(stdout);
}

void live_view::finish() {
  std::lock_guard<std::mutex> lock(m_);
  block_.clear();  // leave the last picture on the screen
  std::fflush(stdout);
}

void live_view::clear_block() {
  if (!enabled_ || block_.empty()) return;
  std::printf("\x1b[%zuA\r\x1b[J", block_.size());  // up over the block, clear to the end
}

void live_view::draw_block() {
  if (!enabled_) return;
  for (const std::string& row : block_) std::printf("%s\x1b[K\n", row.c_str());
}

bool write_plot(const std::string& path, const std::vector<board_record>& records,
                double total_s, const std::string& title) {
  std::ofstream svg(path);
  if (!svg) return false;
  const double w = 1000, lane = 110, top = 50, left = 70, right = 20;
  const double plot_w = w - left - right, h = top + 3 * lane + 50;
  const double span = std::max(total_s, 1e-3);
  auto x_of = [&](double t) { return left + plot_w * std::min(t, span) / span; };
  static const char* colours[3] = {"#d62728", "#2ca02c", "#1f77b4"};
  static const char* names[3] = {"ch0", "ch1", "ch2"};
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << w << "\" height=\"" << h
      << "\" viewBox=\"0 0 " << w << ' ' << h << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << left << "\" y=\"28\" font-size=\"16\">" << escape_xml(title)
      << "</text>\n";
  for (int c = 0; c < 3; ++c) {
    const double y0 = top + c * lane, base = y0 + lane - 15;
    const double scale = (lane - 25) / 255.0;
    svg << "<rect x=\"" << left << "\" y=\"" << y0 + 10 << "\" width=\"" << plot_w
        << "\" height=\"" << lane - 25 << "\" fill=\"#f4f4f4\"/>\n"
        << "<text x=\"10\" y=\"" << y0 + lane / 2 << "\" fill=\"" << colours[c] << "\">"
        << names[c] << "</text>\n"
        << "<text x=\"" << left - 8 << "\" y=\"" << base << "\" text-anchor=\"end\">0</text>\n"
        << "<text x=\"" << left - 8 << "\" y=\"" << y0 + 20 << "\" text-anchor=\"end\">255</text>\n";
    // A step line: each byte holds until the next command.
    svg << "<polyline fill=\"none\" stroke=\"" << colours[c] << "\" stroke-width=\"1.5\" points=\"";
    double last_y = base;
    svg << left << ',' << base;
    for (const board_record& r : records) {
      const double x = x_of(r.track_s), y = base - r.ch[c] * scale;
      svg << ' ' << x << ',' << last_y << ' ' << x << ',' << y;
      last_y = y;
    }
    svg << ' ' << x_of(span) << ',' << last_y << "\"/>\n";
  }
  // Time axis with a tick every 1, 2, 5, 10... seconds.
  const double axis_y = top + 3 * lane;
  double step = 1;
  while (span / step > 20) step *= (static_cast<int>(step) % 2 == 0 || step < 1.5) ? 2.5 : 2;
  svg << "<line x1=\"" << left << "\" y1=\"" << axis_y << "\" x2=\"" << left + plot_w
      << "\" y2=\"" << axis_y << "\" stroke=\"#000\"/>\n";
  for (double t = 0; t <= span + 1e-9; t += step) {
    const double x = x_of(t);
    svg << "<line x1=\"" << x << "\" y1=\"" << axis_y << "\" x2=\"" << x << "\" y2=\""
        << axis_y + 5 << "\" stroke=\"#000\"/>\n<text x=\"" << x << "\" y=\"" << axis_y + 18
        << "\" text-anchor=\"middle\">" << t << "</text>\n";
  }
  svg << "<text x=\"" << left + plot_w / 2 << "\" y=\"" << axis_y + 36
      << "\" text-anchor=\"middle\">track time (s)</text>\n</svg>\n";
  return static_cast<bool>(svg);
}

}  // namespace fulgora_play
