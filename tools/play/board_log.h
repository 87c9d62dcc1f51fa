// What the simulated board received, from its CSV log: followed while the
// track plays, and rewritten with the heard position beside each line.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace fulgora_play {

// One level command the board received: where in the track the listener
// was when it arrived (on the board's own time stamp), and that stamp in
// seconds since the run started.
struct board_record {
  double track_s = 0;
  double wall_s = 0;
  unsigned ch[3] = {0, 0, 0};
};

// Reads the rows the board has appended to its CSV log since the last call.
class board_log {
 public:
  explicit board_log(std::string path) : path_(std::move(path)) {}
  // Appends new level commands, each placed by track_of at the time the
  // board received it; counts the rest.
  void poll(std::vector<board_record>& out);
  // The track position at a time on the board's clock (the monotonic
  // clock, in seconds); the stand-in sets it before the first poll.
  std::function<double(double)> track_of = [](double) { return 0.0; };
  // The run's start on that clock: wall_s counts from it.
  double start_s = 0;
  long levels = 0, closings = 0, others = 0;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  long offset_ = 0;
  std::string partial_;
};

// The board's own log (time_s on the monotonic clock) as
// time_s,heard_s,line,ch0,ch1,ch2: time_s since the run's start on that
// clock, heard_s where the listener was when the line arrived (with --fast,
// what had been played), as log places the picture's lines.
bool write_heard_log(const board_log& log, const std::string& path);

}  // namespace fulgora_play
