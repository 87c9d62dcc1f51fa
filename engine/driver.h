// How an engine runs its worker: a driver, chosen once while the engine is
// built and fixed for its life. The core (led_engine.h) owns what every mode
// shares: the settings record, the link and its port ticket, reconnect, the
// notices, the worker thread and its stop. A driver owns how blocks reach the
// worker and when their commands go out: default/ (each captured block at
// once, through two events) and sync/ (the player's played stream, sent when
// heard). A driver sees the core only through driver_core: the calls go down
// from the core to the driver and from the driver to this face, never back
// into the core's fields.
//
// Threads, per call: the creating thread runs start; the audio thread runs
// offer (never blocking, never allocating); the worker runs turn, last_turn
// and retune; the stopping thread runs wake; the releasing thread runs finish
// once the worker has ended.
#pragma once

#include <cstdint>
#include <memory>

#include "analysis/band_analyzer.h"
#include "analysis/level_history.h"
#include "engine/settings_record.h"
#include "host/audio_chunk.h"

namespace fulgora {

// What a driver may ask of the core. Worker only, but for limit_reply_lines
// (the creating thread, in start).
class driver_core {
 public:
  // A stored block of the analyser's into the channel bytes by the settings
  // in force; false when the analysis yields no levels (the core says why,
  // once). feed and levels as measure_block's.
  virtual bool measure(band_analyzer& analyzer, uint8_t channels[3], bool feed = true,
                       band_levels* levels = nullptr) = 0;
  // Levels measured earlier shaped again by the settings in force (the
  // enhancer's history is not fed).
  virtual void reshape(const band_levels& levels, uint8_t channels[3]) = 0;
  // One level command, through the reconnect when it is on; false when the
  // link is down (the levels were measured only).
  virtual bool send(const uint8_t channels[3]) = 0;
  // Another instance of this process holds the port: this one measures
  // nothing until it has it.
  virtual bool waiting_for_port() const = 0;
  // The settings are loaded (the engine's constructor does it after the
  // worker has started): nothing is measured before.
  virtual bool settings_ready() const = 0;
  // This instance has measured: the port's other claimants learn it plays.
  virtual void note_measured() = 0;
  // A console line of the engine's.
  virtual void tell(const char* line) = 0;
  // A failing link or a board's error replies are said at most this often.
  virtual void limit_reply_lines(unsigned gap_ms) = 0;

 protected:
  ~driver_core() = default;
};

class engine_driver {
 public:
  virtual ~engine_driver() = default;
  // Makes what the worker needs before it starts (the core's link is open or
  // waits for its port); false when it cannot.
  virtual bool start(driver_core& core) = 0;
  // A chunk of the player's (the core has noted a chunk that is not stereo);
  // running: whether the engine's worker runs.
  virtual void offer(const audio_chunk& chunk, bool running) = 0;
  // One turn of the worker after the core's own checks: measure and send
  // what there is, then wait a little (never past a stop for long).
  virtual void turn(driver_core& core) = 0;
  // What a driver that keeps nothing of its own between turns leaves as it
  // is. The worker has seen the stop and ends after this: a last word.
  virtual void last_turn(driver_core&) {}
  // LIVE=1: a saved change of the settings file was applied to the core
  // between two turns; record is the file's.
  virtual void retune(const settings_record&) {}
  // The stop is set: a wait in progress ends now.
  virtual void wake() {}
  // The worker has ended and the port is not yet let go: gives back what
  // start made (what the driver does not keep until it is destroyed).
  virtual void finish() {}
};

// The driver for an engine with these settings (drivers.cpp, which alone
// knows both): sync when it was asked for and the player's clock is there,
// otherwise the default. no_clock: sync was asked for but cannot be had.
// Creating thread; throws only on allocation.
std::unique_ptr<engine_driver> make_driver(const settings_record& file, bool& no_clock);

}  // namespace fulgora
