#include "engine/sync_mode.h"

namespace fulgora {

void sync_mode::offer(const audio_chunk& chunk, bool running) {
  const double start_s = stream_s;
  const unsigned srate = chunk.get_srate();
  const size_t frames = chunk.get_sample_count();
  const double rate = static_cast<double>(srate);
  if (rate > 0.0) stream_s += static_cast<double>(frames) / rate;
  if (chunk.get_channels() != 2 || !running || rate <= 0.0) return;
  const uint32_t w = written.load(std::memory_order_relaxed);
  if (w - taken.load(std::memory_order_acquire) == slot_count) return;
  sync_slot& slot = slots[w % slot_count];
  // Rate and count were read once above; too short, or no room: nothing to measure.
  if (slot.analyzer.capture_samples(srate, frames, chunk.get_data()) != capture_result::stored)
    return;
  slot.time_s = start_s + static_cast<double>(slot.analyzer.block_length / 2) / rate;
  slot.epoch = epoch;
  written.store(w + 1, std::memory_order_release);
}

void sync_mode::restart() {
  stream_s = 0.0;
  ++epoch;
}

sync_slot* sync_mode::front() {
  const uint32_t t = taken.load(std::memory_order_relaxed);
  if (t == written.load(std::memory_order_acquire)) return nullptr;
  return &slots[t % slot_count];
}

void sync_mode::pop() { taken.fetch_add(1, std::memory_order_release); }

}  // namespace fulgora
