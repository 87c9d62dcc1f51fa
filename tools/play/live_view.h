// The terminal view: the component's console lines scroll above a status
// block (progress, and with a board the three channels as bars).
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace fulgora_play {

// A console line as it may reach a terminal: the line end becomes one LF, and
// every other byte outside printable ASCII (a board's reply is raw bytes)
// is shown as \xNN.
std::string printable_line(const std::string& line);

class live_view {
 public:
  // columns: the terminal's width; every row stays within it.
  explicit live_view(bool enabled, int columns = 80) : enabled_(enabled), columns_(columns) {}
  // Band names shown beside each channel (channel_bands).
  std::string labels[3] = {"low", "mid", "high"};
  bool enabled() const { return enabled_; }
  // A console line; printed as it came when the view is off.
  void line(const std::string& text);
  // A message of the stand-in's own, to standard error, with the block kept.
  void aside(const std::string& text);
  void status(double elapsed, double total, const unsigned* channels, long commands);
  void finish();
  // When the component said "settings: reloaded." (a live edit taken).
  std::vector<std::chrono::steady_clock::time_point> reloads();

 private:
  std::vector<std::string> channel_rows(const unsigned* channels) const;
  void clear_block();
  void draw_block();
  bool enabled_;
  int columns_;
  std::mutex m_;
  std::vector<std::string> block_;
  std::vector<std::chrono::steady_clock::time_point> reloads_;
};

}  // namespace fulgora_play
