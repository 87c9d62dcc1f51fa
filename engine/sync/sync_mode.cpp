#include "engine/sync/sync_mode.h"

#include <new>

#include "analysis/band_analyzer.h"
#include "engine/port_registry.h"
#include "engine/sync/stream_handover.h"
#include "host/output.h"

namespace fulgora {

std::unique_ptr<sync_mode> make_sync_mode(const sync_settings& settings) {
  service_ptr_t<visualisation_stream> clock;
  if (!open_playback_clock(clock)) return nullptr;
  std::unique_ptr<sync_mode> mode(new sync_mode);
  if (!mode->prepare()) return nullptr;
  mode->settings = settings;
  mode->clock = clock;
  double buffer_s = 0.0;
  if (read_output_buffer_length(buffer_s)) mode->output_buffer_s = buffer_s;
  return mode;
}

bool sync_mode::prepare() {
  ring.reset(new (std::nothrow) float[ring_frames]);
  waker = create_timed_wait();
  return ring != nullptr && waker != nullptr;
}

sync_mode::~sync_mode() {
  if (waker) close_timed_wait(waker);
}

void sync_mode::offer(const audio_chunk& chunk, bool running) {
  const unsigned srate = chunk.get_srate();
  const size_t frames = chunk.get_sample_count();
  const double rate = static_cast<double>(srate);
  const double start_s = stream_s;
  if (rate > 0.0) stream_s += static_cast<double>(frames) / rate;
  last_end_s = stream_s;
  if (chunk.get_channels() != 2 || !running || rate <= 0.0 || frames == 0) return;
  const uint32_t p = pieces_written.load(std::memory_order_relaxed);
  if (p - pieces_taken.load(std::memory_order_acquire) == piece_count) return;
  const audio_sample* data = chunk.get_data();
  // A chunk longer than half the ring is measured from its first half-ring.
  const size_t take = frames < ring_frames / 2 ? frames : ring_frames / 2;
  const uint64_t w = frames_written.load(std::memory_order_relaxed);
  const bool room = w + take - frames_freed.load(std::memory_order_acquire) <= ring_frames;
  stream_piece& piece = pieces[p % piece_count];
  piece.start_s = start_s;
  piece.ring_start = w;
  piece.frames = frames > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(frames);
  piece.copied = room ? static_cast<uint32_t>(take) : 0;
  piece.rate = srate;
  piece.epoch = epoch;
  piece.ended_at_s = ended_at_s;
  ended_at_s = -1.0;
  if (room) {
    float* out = ring.get();
    for (size_t i = 0; i < take; ++i) out[(w + i) % ring_frames] = mono_of(data + 2 * i);
    frames_written.store(w + take, std::memory_order_release);
  }
  pieces_written.store(p + 1, std::memory_order_seq_cst);
  // Pairs with the worker's store of `wake_wanted` before its last look.
  if (wake_wanted.load(std::memory_order_seq_cst)) fulgora::wake(waker);
}

void sync_mode::restart() {
  stream_s = 0.0;
  ended_at_s = -1.0;
  ++epoch;
}

void sync_mode::finish(const port_ticket& port) {
  // A stream only an instance that drove the board has measured.
  if (port.held && port.measured) leave_stream(*this, port.identity, port.order);
}

void leave_stream(sync_mode& sync, const std::string& port, uint64_t order) {
  if (sync.pieces_written.load(std::memory_order_acquire) == 0) return;  // nothing played
  stream_handover h;
  h.from = order;
  h.end_s = sync.base_s + sync.last_end_s;
  h.clock = sync.heard;
  try {
    h.waiting.reserve(sync.queue.size());
    for (size_t i = 0; i < sync.queue.size(); ++i) h.waiting.push_back(sync.queue.at(i));
  } catch (const std::bad_alloc&) {
    h.waiting.clear();  // the position alone still serves
  }
  leave_handover(port, std::move(h));
}

const stream_piece* sync_mode::front() const {
  const uint32_t t = pieces_taken.load(std::memory_order_relaxed);
  if (t == pieces_written.load(std::memory_order_acquire)) return nullptr;
  return &pieces[t % piece_count];
}

}  // namespace fulgora
