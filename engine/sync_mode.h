// The opt-in sync mode: each block's command goes out when the listener hears
// the block, by the player's playback clock, instead of as soon as it has
// been measured.
//
// Threads: the creating thread builds it before the worker starts; the audio
// thread runs offer and restart; the worker runs sync_worker_main. The
// capture slots are a single-producer, single-consumer ring: the audio thread
// fills a free slot and publishes it by advancing `written` (release); the
// worker reads a published slot and frees it by advancing `taken` (release).
// Each side loads the other's counter with acquire, so a slot is only ever in
// one side's hands. No lock; nothing is allocated except by a capture whose
// block length or sample rate changed. `stream_s` and `epoch` belong to the
// audio thread; the worker sees them only through a published slot.
#pragma once

#include <atomic>
#include <cstdint>

#include "analysis/band_analyzer.h"
#include "engine/command_queue.h"
#include "engine/sync_settings.h"
#include "host/audio_chunk.h"
#include "host/visualisation.h"

namespace fulgora {

struct led_engine;

struct sync_slot {
  band_analyzer analyzer;
  double time_s = 0.0;  // stream time of the block's middle frame
  uint32_t epoch = 0;   // restarts of the stream counted before this block
};

struct sync_mode {
  // Enough for a player's burst at the start of a track while the worker
  // sleeps between polls; a chunk that finds every slot full passes unmeasured.
  static constexpr uint32_t slot_count = 16;

  sync_settings settings;
  service_ptr_t<visualisation_stream> clock;  // queried by the worker only

  sync_slot slots[slot_count];
  std::atomic<uint32_t> written{0};
  std::atomic<uint32_t> taken{0};
  double stream_s = 0.0;  // seconds through the DSP since the last (re)start
  uint32_t epoch = 0;

  command_queue queue;  // the worker's

  // Audio thread: counts the chunk into the stream time and, for a 2-channel
  // chunk while the engine runs, captures its block into a free slot.
  void offer(const audio_chunk& chunk, bool running);
  // Audio thread: a seek or a new start of playback; the stream time starts
  // again from 0 and the worker drops what it still holds of the old stream.
  void restart();

  // Worker: the oldest published slot, or null.
  sync_slot* front();
  void pop();
};

// The worker's loop in sync mode; returns 0 once stop_event is set.
unsigned sync_worker_main(led_engine& engine);

}  // namespace fulgora
