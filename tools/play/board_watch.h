// The simulated board while the track plays: its log followed into the live
// view, and with --fast each chunk held until its command reached the board.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "tools/play/board_log.h"
#include "tools/play/live_view.h"

namespace fulgora_play {

class board_watch {
 public:
  // on: a board runs (--board); pace: hold chunks (--fast with a board).
  board_watch(const std::string& csv_path, bool on, bool pace, live_view& view,
              const std::atomic<bool>& interrupted, double total_s)
      : log(csv_path),
        on_(on),
        pacing_(pace),
        view_(view),
        interrupted_(interrupted),
        total_s_(total_s) {}
  // New rows up to heard time at_s, and the view redrawn.
  void refresh(double at_s);
  // Waits (up to 250 ms) for the command of the chunk just run. A component
  // that sends nothing (edges that do not fit) stops the pacing.
  void pace();
  bool pacing() const { return pacing_; }

  board_log log;
  std::vector<board_record> records;

 private:
  bool on_, pacing_;
  int unanswered_ = 0;
  unsigned channels_[3] = {0, 0, 0};
  live_view& view_;
  const std::atomic<bool>& interrupted_;
  double total_s_;
};

}  // namespace fulgora_play
