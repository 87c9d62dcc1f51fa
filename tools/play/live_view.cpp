#include "tools/play/live_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace fulgora_play {

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

void live_view::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  if (text.rfind("settings: reloaded.", 0) == 0)
    reloads_.push_back(std::chrono::steady_clock::now());
  clear_block();
  std::fwrite(text.data(), 1, text.size(), stdout);
  draw_block();
  std::fflush(stdout);
}

std::vector<std::chrono::steady_clock::time_point> live_view::reloads() {
  std::lock_guard<std::mutex> lock(m_);
  return reloads_;
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
    for (const std::string& row : channel_rows(channels)) block.push_back(row);
    char count[64];
    std::snprintf(count, sizeof count, "  board: %ld level commands", commands);
    block.push_back(count);
  }
  clear_block();
  block_ = block;
  draw_block();
  std::fflush(stdout);
}

std::vector<std::string> live_view::channel_rows(const unsigned* channels) const {
  static const char* colours[3] = {"\x1b[31m", "\x1b[32m", "\x1b[34m"};
  size_t label_width = 0;
  for (const std::string& l : labels) label_width = std::max(label_width, l.size());
  label_width = std::min<size_t>(label_width, 16);
  const int bar = std::max(4, std::min(48, columns_ - 14 - static_cast<int>(label_width)));
  std::vector<std::string> rows;
  for (int i = 0; i < 3; ++i) {
    const int n = static_cast<int>(channels[i] * static_cast<unsigned>(bar) / 255);
    char row[300];
    std::snprintf(row, sizeof row, "  ch%d %-*.*s %3u %s%s\x1b[0m%s|", i,
                  static_cast<int>(label_width), static_cast<int>(label_width), labels[i].c_str(),
                  channels[i], colours[i], std::string(n, '#').c_str(),
                  std::string(bar - n, ' ').c_str());
    rows.push_back(row);
  }
  return rows;
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

}  // namespace fulgora_play
