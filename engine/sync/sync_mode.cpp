#include "engine/sync/sync_mode.h"

#include <new>

#include "engine/sync/played_stream.h"
#include "host/output.h"

namespace fulgora {

std::unique_ptr<sync_mode> make_sync_mode(const sync_settings& settings) {
  std::unique_ptr<sync_mode> mode(new sync_mode);
  if (!mode->prepare()) return nullptr;
  mode->settings = settings;
  double buffer_s = 0.0;
  if (read_output_buffer_length(buffer_s)) mode->output_buffer_s = buffer_s;
  return mode;
}

bool sync_mode::prepare() {
  window.reset(new (std::nothrow) float[played_frames_max]);
  waker = create_timed_wait();
  if (window == nullptr || waker == nullptr) return false;
  holds_stream_ = hold_played_stream();
  return holds_stream_;
}

sync_mode::~sync_mode() {
  worker_.reset();
  if (holds_stream_) let_go_played_stream();
  if (waker) close_timed_wait(waker);
}

void sync_mode::offer(const audio_chunk& chunk, bool) {
  input_rate.store(chunk.get_srate(), std::memory_order_relaxed);
}

}  // namespace fulgora
