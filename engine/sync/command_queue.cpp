#include "engine/sync/command_queue.h"

namespace fulgora {

void command_queue::push(double due_s, const uint8_t channels[3]) {
  timed_command c;
  c.due_s = due_s;
  for (int i = 0; i < 3; ++i) c.channels[i] = channels[i];
  push(c);
}

void command_queue::push(const timed_command& command) {
  if (count_ == capacity) --count_;  // the newest gives way, not the most urgent
  ring_[(head_ + count_) % capacity] = command;
  ++count_;
}

void command_queue::shift(double seconds) {
  for (size_t i = 0; i < count_; ++i) at(i).due_s += seconds;
}

bool command_queue::take_due(double now_s, uint8_t out[3]) {
  bool taken = false;
  while (count_ > 0 && ring_[head_].due_s <= now_s) {
    for (int i = 0; i < 3; ++i) out[i] = ring_[head_].channels[i];
    head_ = (head_ + 1) % capacity;
    --count_;
    taken = true;
  }
  return taken;
}

void command_queue::move(double from_s, double shift_s) {
  while (count_ > 0 && ring_[head_].due_s < from_s) {
    head_ = (head_ + 1) % capacity;
    --count_;
  }
  for (size_t i = 0; i < count_; ++i) ring_[(head_ + i) % capacity].due_s += shift_s;
}

bool command_queue::next_due(double& due_s) const {
  if (count_ == 0) return false;
  due_s = ring_[head_].due_s;
  return true;
}

}  // namespace fulgora
