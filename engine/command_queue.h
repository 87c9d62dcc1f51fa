// The sync mode's waiting level commands: three channel bytes, each with the
// moment (seconds on the playback clock) at which it should go out. Used by
// the worker alone. A fixed ring: nothing is allocated after construction.
// Blocks arrive in stream order, so the due commands are always the oldest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fulgora {

struct timed_command {
  double due_s = 0.0;
  uint8_t channels[3] = {0, 0, 0};
};

class command_queue {
public:
  // A player's output buffer holds seconds of audio; this covers it many
  // times over at any chunk size a player uses.
  static constexpr size_t capacity = 512;

  // When full, the oldest command gives way: it is the most overdue.
  void push(double due_s, const uint8_t channels[3]);
  // Takes every command due at now_s; the newest of them goes into out and
  // the older are dropped. False, and nothing taken, when none is due.
  bool take_due(double now_s, uint8_t out[3]);
  void clear() { head_ = count_ = 0; }
  size_t size() const { return count_; }

private:
  timed_command ring_[capacity];
  size_t head_ = 0;  // index of the oldest
  size_t count_ = 0;
};

}  // namespace fulgora
