#include "tools/play/board_watch.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace fulgora_play {

void board_watch::refresh(double at_s) {
  if (on_) {
    const size_t before = records.size();
    log.poll(records);
    if (records.size() > before) std::memcpy(channels_, records.back().ch, sizeof channels_);
  }
  view_.status(at_s, total_s_, on_ ? channels_ : nullptr, log.levels);
}

void board_watch::pace() {
  const long before = log.levels;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
  while (log.levels == before && !interrupted_ && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    log.poll(records);
  }
  if (log.levels == before) {
    pacing_ = ++unanswered_ < 3;
    return;
  }
  unanswered_ = 0;
  std::memcpy(channels_, records.back().ch, sizeof channels_);
  // The worker reads the reply within a few milliseconds, then is idle; a
  // chunk offered before that passes unmeasured (a busy machine).
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace fulgora_play
