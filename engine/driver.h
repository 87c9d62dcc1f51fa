// How an engine runs its worker: a driver, chosen once while the engine is
// built and fixed for its life. The core (led_engine.h) owns what every mode
// shares: the settings record, the link and its port ticket, reconnect, the
// notices, the worker thread and its stop. A driver owns how blocks reach the
// worker and when their commands go out: default/ (each captured block at
// once, through two events) and sync/ (the player's played stream, sent when
// heard).
//
// Threads, per call: the creating thread runs start; the audio thread runs
// offer (never blocking, never allocating); the worker runs turn, last_turn
// and retune; the stopping thread runs wake; the releasing thread runs finish
// once the worker has ended.
#pragma once

#include <memory>
#include <string>

#include "engine/sync_settings.h"
#include "host/audio_chunk.h"

namespace fulgora {

struct led_engine;

class engine_driver {
 public:
  virtual ~engine_driver() = default;
  // Makes what the worker needs before it starts (the core's link is open or
  // waits for its port); false when it cannot.
  virtual bool start(led_engine& core) = 0;
  // A chunk of the player's (the core has noted a chunk that is not stereo);
  // running: whether the engine's worker runs.
  virtual void offer(const audio_chunk& chunk, bool running) = 0;
  // One turn of the worker after the core's own checks: measure and send
  // what there is, then wait a little (never past a stop for long).
  virtual void turn(led_engine& core) = 0;
  // The worker has seen the stop and ends after this: a last word (the sync
  // driver sends a command that is already due).
  virtual void last_turn(led_engine& core) = 0;
  // LIVE=1: a saved change of the settings file was applied between two
  // turns (the core's record); next holds the opt-in values to go on with.
  virtual void retune(const sync_settings& next) = 0;
  // The stop is set: a wait in progress ends now.
  virtual void wake() = 0;
  // The worker has ended and the port is not yet let go: gives back what
  // start made.
  virtual void finish() = 0;
};

// The driver for an engine with these opt-in keys (drivers.cpp, which alone
// knows both): sync when it was asked for and the player's clock is there,
// otherwise the default. no_clock: sync was asked for but cannot be had.
// Creating thread; throws only on allocation.
std::unique_ptr<engine_driver> make_driver(const sync_settings& settings, bool& no_clock);

}  // namespace fulgora
