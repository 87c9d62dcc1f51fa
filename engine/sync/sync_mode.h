// The opt-in sync mode: level commands go out when the listener hears their
// audio, by the player's playback clock, instead of as soon as they have
// been measured. The audio measured is the player's own played stream
// (played_stream.h), read on the clock's time line: what leaves the whole
// DSP chain, whatever comes after ours.
//
// The audio thread only notes the rate of the chunks that pass (a relaxed
// store: no copy, no wake, no system call). The worker
// reads the clock, measures the window of played audio that ends at each
// update, queues its command for the moment it is heard and sends what is
// due.
//
// The sync driver (driver.h). Threads: the creating thread builds it and
// starts it before the worker starts; the audio thread runs offer; the worker
// runs turn, last_turn and retune (sync_worker.cpp); the stopping thread
// runs wake; the releasing thread destroys it after the worker has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/driver.h"
#include "engine/sync/command_queue.h"
#include "engine/sync/heard_clock.h"
#include "engine/sync_settings.h"
#include "host/audio_chunk.h"
#include "platform/timed_wait.h"

namespace fulgora {

class sync_worker;
struct sync_worker_deleter {
  void operator()(sync_worker* w) const;
};

class sync_mode final : public engine_driver {
 public:
  // False when the played stream, its memory or the wait could not be had
  // (the mode is then off).
  bool prepare();
  ~sync_mode() override;

  bool start(driver_core& core) override;
  void offer(const audio_chunk& chunk, bool running) override;
  void turn(driver_core& core) override;
  void last_turn(driver_core& core) override;
  void retune(const settings_record& next) override;
  void wake() override { fulgora::wake(waker); }

  // The commands waiting for their moment, to any thread once the worker has
  // ended: their moments are finer than a port's bytes can show.
  const command_queue& waiting_commands() const { return queue; }

 private:
  // The worker's side (sync_worker.cpp) and the maker read and write these;
  // no other code does.
  friend class sync_worker;
  friend std::unique_ptr<sync_mode> make_sync_mode(const sync_settings& settings);

  sync_settings settings;
  double output_buffer_s = 0.0;  // the player's output buffer length; 0: not told

  // The audio thread's note of the rate that passes through this instance:
  // the worker's first guess of the played rate.
  std::atomic<unsigned> input_rate{0};

  // The worker's; the window is one read of played audio, mixed to mono.
  command_queue queue;
  heard_clock heard;
  std::unique_ptr<float[]> window;
  timed_wait_handle waker = nullptr;  // the worker's sleep; ended by the stop

  bool holds_stream_ = false;
  std::unique_ptr<sync_worker, sync_worker_deleter> worker_;  // made by start
};

// The sync driver when it was asked for and can be had: the player's clock is
// there and its memory could be had; null otherwise. Creating thread, before
// the worker starts.
std::unique_ptr<sync_mode> make_sync_mode(const sync_settings& settings);

// Updates a second: SYNC_RATE, where 0 stands for the default rate.
inline int32_t sync_updates_per_s(const sync_settings& s) {
  return s.SYNC_RATE > 0 ? s.SYNC_RATE : sync_settings().SYNC_RATE;
}

}  // namespace fulgora
