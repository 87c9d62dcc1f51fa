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
  // The band levels (low, mid, high) the bytes were shaped from, so that
  // settings changed while the command waits can shape it again.
  double levels[3] = {0.0, 0.0, 0.0};
};

class command_queue {
 public:
  // Commands wait at most the output buffer (up to 10 s) plus the largest
  // SYNC_OFFSET_MS (10 s): room for 819 commands a second over those 20 s,
  // which every SYNC_RATE and, with SYNC_RATE=0, chunks of 256 frames at up
  // to 192 kHz stay below.
  static constexpr size_t capacity = 16384;

  // Never drops a command that is not yet due. When full (only past the
  // rate above), the new command takes the place of the newest waiting one.
  void push(double due_s, const uint8_t channels[3]);
  void push(const timed_command& command);
  // Takes every command due at now_s; the newest of them goes into out and
  // the older are dropped. False, and nothing taken, when none is due.
  bool take_due(double now_s, uint8_t out[3]);
  // The oldest waiting command's moment; false when none waits.
  bool next_due(double& due_s) const;
  // Drops the commands due before from_s and moves the others by shift_s.
  void move(double from_s, double shift_s);
  void clear() { head_ = count_ = 0; }
  size_t size() const { return count_; }
  const timed_command& at(size_t i) const { return ring_[(head_ + i) % capacity]; }
  timed_command& at(size_t i) { return ring_[(head_ + i) % capacity]; }
  // Every waiting command's moment moves by seconds (a new SYNC_OFFSET_MS).
  void shift(double seconds);

 private:
  timed_command ring_[capacity];
  size_t head_ = 0;  // index of the oldest
  size_t count_ = 0;
};

}  // namespace fulgora
