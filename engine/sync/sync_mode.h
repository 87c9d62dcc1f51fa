// The opt-in sync mode: level commands go out when the listener hears their
// audio, by the player's playback clock, instead of as soon as they have
// been measured.
//
// The audio thread hands the worker the stream itself: every frame of every
// 2-channel chunk, mixed to mono as the analyser's capture mixes it, into a
// ring of samples, and one record per chunk (its stream time, rate, place in
// the ring) into a ring of records. Both are single-producer, single-consumer:
// the audio thread publishes by advancing `frames_written` and
// `pieces_written` (release); the worker frees by advancing `frames_freed`
// and `pieces_taken` (release); each side loads the other's counters with
// acquire. The audio thread never overwrites samples the worker may still
// read: a chunk that finds no room passes unmeasured (its record says so).
// Memory is fixed when the mode is set up: seconds of audio, whatever the
// chunk size. No lock; the audio thread never allocates and never waits; it
// wakes the worker only when the worker sleeps without a timer.
//
// The sync driver (driver.h). Threads: the creating thread builds it and
// starts it before the worker starts; the audio thread runs offer and
// restart; the worker runs turn (sync_worker.cpp); the releasing thread reads
// the worker's part in finish, after the worker has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/driver.h"
#include "engine/sync/command_queue.h"
#include "engine/sync/heard_clock.h"
#include "engine/sync_settings.h"
#include "host/audio_chunk.h"
#include "host/visualisation.h"
#include "platform/timed_wait.h"

namespace fulgora {

struct led_engine;
class sync_worker;
struct sync_worker_deleter {
  void operator()(sync_worker* w) const;
};

struct stream_piece {
  double start_s = 0.0;     // stream time of the chunk's first frame
  uint64_t ring_start = 0;  // ring index of its first frame
  uint32_t frames = 0;      // the chunk's frames
  uint32_t copied = 0;      // of those, the first ones in the ring (0: no room)
  uint32_t rate = 0;
  uint32_t epoch = 0;  // restarts of the stream counted before this chunk
  // The first chunk after an end of playback: the stream time of that end,
  // where a new start would begin; -1 otherwise.
  double ended_at_s = -1.0;
};

struct sync_mode final : engine_driver {
  // 2^20 frames: 23.8 s at 44.1 kHz, 10.9 s at 96 kHz, 4 MB.
  static constexpr uint32_t ring_frames = uint32_t{1} << 20;
  static constexpr uint32_t piece_count = 4096;

  sync_settings settings;
  service_ptr_t<visualisation_stream> clock;  // queried by the worker only
  double output_buffer_s = 0.0;               // the player's output buffer length; 0: not told

  // False when its memory or its wait could not be had (the mode is then off).
  bool prepare();
  ~sync_mode() override;

  bool start(led_engine& core) override;
  void offer(const audio_chunk& chunk, bool running) override;
  void restart() override;
  void end_of_playback() override { ended_at_s = stream_s; }
  void turn(led_engine& core) override;
  // Measures the last run (drain) before the hand-over.
  void last_turn(led_engine& core) override;
  void retune(const sync_settings& next) override;
  void wake() override { wake_worker(); }
  // Leaves the stream for the next holder of the port (leave_stream), when
  // this instance held the port and measured audio.
  void finish(const port_ticket& port) override;

  std::unique_ptr<float[]> ring;
  stream_piece pieces[piece_count];
  std::atomic<uint64_t> frames_written{0}, frames_freed{0};
  std::atomic<uint32_t> pieces_written{0}, pieces_taken{0};
  // The worker sleeps without a timer that finds new audio by itself: only
  // then does the audio thread wake it.
  std::atomic<bool> wake_wanted{false};
  timed_wait_handle waker = nullptr;

  // The audio thread's: seconds through the DSP since the last (re)start,
  // and the end of the last chunk (kept across a restart: a seek may come
  // between the last chunk and the release).
  double stream_s = 0.0;
  double last_end_s = 0.0;
  uint32_t epoch = 0;
  double ended_at_s = -1.0;  // an end of playback not yet told to the worker

  // The worker's. base_s: where stream time 0 of this instance lies on the
  // playback clock (a predecessor's stream carried on, the place an instance
  // added during playback finds, or 0).
  command_queue queue;
  heard_clock heard;
  double base_s = 0.0;
  uint32_t worker_epoch = 0;

  // offer, audio thread: counts the chunk into the stream time and, for a
  // 2-channel chunk while the engine runs, copies it into the ring.
  // restart, audio thread: a seek; the stream time starts again from 0 and
  // the worker drops what it still holds of the old stream.
  // end_of_playback, audio thread: a FLUSH without a seek. Playback may go on
  // (a DSP after this one flushes it at every track change) or start anew
  // later: the stream goes on, and the worker starts it here again only if
  // the clock then falls back.
  // Any thread: ends the worker's sleep.
  void wake_worker() { fulgora::wake(waker); }

  // Worker: the oldest published record, or null; pop gives it back.
  const stream_piece* front() const;
  void pop() { pieces_taken.fetch_add(1, std::memory_order_release); }

 private:
  std::unique_ptr<sync_worker, sync_worker_deleter> worker_;  // made by start
};

// The sync driver when it was asked for and can be had: the player's clock is
// there and its memory could be had; null otherwise. Creating thread, before
// the worker starts.
std::unique_ptr<sync_mode> make_sync_mode(const sync_settings& settings);

// Releasing thread, once the worker has ended, for an instance that held the
// port and measured audio: leaves the stream's end on the playback clock, the
// clock model and the waiting commands for the instance that takes the port
// over (stream_handover.h); `order` is the leaver's port_ticket order.
void leave_stream(sync_mode& sync, const std::string& port, uint64_t order);

}  // namespace fulgora
