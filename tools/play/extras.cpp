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

// As the component's reader sees a line: "[name]" after trimming, the name
// running to the last ']' on the line, compared in upper case.
bool is_section(const std::string& line) {
  const std::string t = upper_trimmed(line);
  return !t.empty() && t[0] == '[' && t.find(']') != std::string::npos;
}
std::string section_name(const std::string& line) {
  if (!is_section(line)) return "";
  const std::string t = upper_trimmed(line);
  return t.substr(1, t.rfind(']') - 1);
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

bool with_port(std::string& ini, const std::string& port) {
  if (ini.empty()) {
    ini = "[SETTING]\r\nPORTNAME=" + port + "\r\n";
    return true;
  }
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = ini.find('\n', start);
    lines.push_back(ini.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size() && header == lines.size(); ++i)
    if (section_name(lines[i]) == "SETTING") header = i;
  if (header == lines.size()) return false;
  const std::string entry = "PORTNAME=" + port + "\r";
  size_t i = header + 1;
  while (i < lines.size() && !is_section(lines[i]) && !is_port_key(lines[i])) ++i;
  if (i < lines.size() && is_port_key(lines[i]))
    lines[i] = entry;
  else
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(header) + 1, entry);
  std::string out;
  for (size_t k = 0; k < lines.size(); ++k) out += lines[k] + (k + 1 < lines.size() ? "\n" : "");
  ini = out;
  return true;
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
  // Rows must not wrap: a wrapped row breaks the cursor moves that redraw it.
  const int width = std::max(4, std::min(40, columns_ - 24));
  const int done = static_cast<int>(std::lround(fraction * width));
  char head[160];
  std::snprintf(head, sizeof head, "  [%s%s] %d:%04.1f / %d:%04.1f", std::string(done, '=').c_str(),
                std::string(width - done, ' ').c_str(), static_cast<int>(elapsed) / 60,
                std::fmod(elapsed, 60.0), static_cast<int>(total) / 60, std::fmod(total, 60.0));
  block.push_back(head);
  if (channels) {
    static const char* colours[3] = {"\x1b[31m", "\x1b[32m", "\x1b[34m"};
    size_t label_width = 0;
    for (const std::string& l : labels) label_width = std::max(label_width, l.size());
    label_width = std::min<size_t>(label_width, 16);
    const int bar = std::max(4, std::min(48, columns_ - 14 - static_cast<int>(label_width)));
    for (int i = 0; i < 3; ++i) {
      const int n = static_cast<int>(channels[i] * static_cast<unsigned>(bar) / 255);
      char row[300];
      std::snprintf(row, sizeof row, "  ch%d %-*.*s %3u %s%s\x1b[0m%s|", i,
                    static_cast<int>(label_width), static_cast<int>(label_width),
                    labels[i].c_str(), channels[i], colours[i], std::string(n, '#').c_str(),
                    std::string(bar - n, ' ').c_str());
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

std::string channel_bands(int channel, const int routing[3]) {
  static const char* const bands[3] = {"low", "mid", "high"};
  std::string out;
  for (int b = 0; b < 3; ++b)
    if (routing[b] == channel) out += (out.empty() ? "" : " + ") + std::string(bands[b]);
  return out.empty() ? "no band" : out;
}

double tick_step(double span) {
  double step = 0.1;
  for (int i = 0; span / step > 12; ++i) step *= i % 3 == 1 ? 2.5 : 2;  // 0.1 0.2 0.5 1 2 5...
  return step;
}

bool write_plot(const std::string& path, const std::vector<board_record>& records,
                double total_s, const std::string& title, const std::string labels[3]) {
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
        << "<text x=\"10\" y=\"" << y0 + lane / 2 + 15 << "\" fill=\"" << colours[c]
        << "\" font-size=\"10\">" << escape_xml(labels[c]) << "</text>\n"
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
  const double step = tick_step(span);
  svg << "<line x1=\"" << left << "\" y1=\"" << axis_y << "\" x2=\"" << left + plot_w
      << "\" y2=\"" << axis_y << "\" stroke=\"#000\"/>\n";
  for (int k = 0; k * step <= span + 1e-9; ++k) {
    const double t = std::round(k * step * 10) / 10;  // no 0.30000000000000004
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
