// The stand-in's helpers around the component: pointing a settings file at a
// port, following the simulated board's log, the live view and the plot.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "tools/play/output_model.h"

namespace fulgora_play {

// Sets PORTNAME to port in the settings text, touching nothing else: the
// first PORTNAME key of the first [SETTING] section, as the component's
// reader finds them, is replaced (or one is added right after its header).
// Empty text becomes a file of that one key. False, with the text unchanged,
// when it has no [SETTING] section (a misspelt one stays misspelt).
bool with_port(std::string& ini, const std::string& port);

// A console line as it may reach a terminal: the line end becomes one LF, and
// every other byte outside printable ASCII (a board's reply is raw bytes)
// is shown as \xNN.
std::string printable_line(const std::string& line);

// One level command the board received, at a track time.
struct board_record {
  double track_s = 0;
  unsigned ch[3] = {0, 0, 0};
};

// Reads the rows the board has appended to its CSV log since the last call.
class board_log {
public:
  explicit board_log(std::string path) : path_(std::move(path)) {}
  // Appends new level commands, stamped with track_s; counts the rest.
  void poll(double track_s, std::vector<board_record>& out);
  long levels = 0, closings = 0, others = 0;

private:
  std::string path_;
  long offset_ = 0;
  std::string partial_;
};

// The terminal view: the component's console lines scroll above a status
// block (progress, and with a board the three channels as bars).
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

private:
  void clear_block();
  void draw_block();
  bool enabled_;
  int columns_;
  std::mutex m_;
  std::vector<std::string> block_;
};

// The board's own log (time_s on the monotonic clock) as
// time_s,heard_s,line,ch0,ch1,ch2: time_s since start_s on that clock,
// heard_s the output's heard position when the line arrived.
bool write_heard_log(const std::string& board_csv, const std::string& path, double start_s,
                     const output_model& output);

// The bands a channel shows under the routing (LOW_, MID_, HI_LEDTYPE):
// "low", "mid + high", "no band".
std::string channel_bands(int channel, const int routing[3]);

// A self-contained SVG of the three channel bytes over the track's time;
// labels name each channel's bands.
bool write_plot(const std::string& path, const std::vector<board_record>& records,
                double total_s, const std::string& title, const std::string labels[3]);

// Spacing of the time axis' ticks: 1, 2 or 5 times a power of ten, at most
// about a dozen ticks over span seconds.
double tick_step(double span);

}  // namespace fulgora_play
