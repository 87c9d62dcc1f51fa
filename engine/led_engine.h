// The LED side of one DSP instance, the core both modes share: settings,
// serial link and its port ticket, reconnect, notices, one worker thread and
// its stop. How blocks reach the worker and when commands go out is the
// driver's (driver.h), chosen once while the engine is built: default/ or,
// with SYNC=1 and the player's clock there, sync/ (drivers.cpp).
//
// Threads: the creating thread runs the constructor (start, load_settings)
// and the observers; the player's audio thread runs offer_chunk; the worker
// runs worker_main and the drivers' face (driver_core); the releasing thread
// runs stop and the destructor. Only its own members write its fields. No
// lock on the audio thread: the driver hands blocks over without one; the
// port's claim, release and step-aside take the process-wide lock of the
// port registry (creating thread and worker).
//
// An engine whose port another engine of this process holds runs with its
// link closed (it measures, sends nothing) until await_port opens it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "analysis/level_history.h"
#include "engine/driver.h"
#include "engine/led_settings.h"
#include "engine/live_settings.h"
#include "engine/notices.h"
#include "engine/port_registry.h"
#include "engine/reconnect.h"
#include "engine/settings_record.h"
#include "host/audio_chunk.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/settings_reader.h"
#include "platform/threads.h"
#include "serial/serial_link.h"

namespace fulgora {

class led_engine final : public driver_core {
 public:
  // If the settings name a port, starts on it and then loads them; with no
  // record, reads the component's settings file first. retry_clock times
  // RECONNECT's retries.
  explicit led_engine(const settings_record& file, serial_port_api& port = system_serial_port(),
                      const ms_clock& retry_clock = monotonic_clock());
  explicit led_engine(serial_port_api& port = system_serial_port());
  // An engine that never starts: no settings read, no port.
  struct lights_off_t {};
  static constexpr lights_off_t lights_off{};
  explicit led_engine(lights_off_t) : serial(system_serial_port(), nullptr), notices(nullptr) {}
  ~led_engine();
  led_engine(const led_engine&) = delete;
  led_engine& operator=(const led_engine&) = delete;

  // Starts the driver's worker on port_name; a default driver when none was
  // chosen.
  bool start(const wchar_t* port_name);
  bool load_settings(const settings_record& file);
  // The audio thread's gate: never blocks, never changes the chunk, throws
  // nothing of its own.
  void offer_chunk(const audio_chunk& chunk);
  void stop();

  // What it is doing, for the thread that made it (and the releasing one).
  bool is_running() const { return running; }
  // With LIVE=1 the worker rewrites them between turns: read them then only
  // once the engine has stopped.
  const led_settings& settings_in_force() const { return settings; }
  bool reconnects() const { return recovery.enabled(); }
  bool link_open() const { return serial.is_open(); }
  bool holds_port() const { return port.held(); }
  // The driver chosen while it was built; null when it never started. Only
  // the sync driver's queue is read through it (its moments are finer than
  // the bytes on a port can show).
  const engine_driver* driver_in_use() const { return driver.get(); }

  // The drivers' face (driver.h); worker.
  bool measure(band_analyzer& analyzer, uint8_t channels[3], bool feed = true,
               band_levels* levels = nullptr) override;
  void reshape(const band_levels& levels, uint8_t channels[3]) override;
  bool send(const uint8_t channels[3]) override;
  bool waiting_for_port() const override { return port.waiting(); }
  bool settings_ready() const override { return settings_loaded.load(std::memory_order_acquire); }
  void note_measured() override { port.note_measured(); }  // once: the ticket looks first
  void tell(const char* line) override { notices.tell(line); }
  void limit_reply_lines(unsigned gap_ms) override { serial.set_reply_line_gap(gap_ms); }

 private:
  friend unsigned worker_main(void* engine);
  void release_resources();
  // Worker, once per pass: while another engine holds the port, opens it as
  // soon as that one has let go, and says once when it has not after a while.
  void await_port();

  thread_handle worker_thread = nullptr;
  event_handle stop_event = nullptr;  // the worker must end
  bool running = false;               // written only before the player runs the DSP and after
  // Set once the constructor has loaded the settings (after the worker
  // started): the worker measures nothing before it.
  std::atomic<bool> settings_loaded{false};
  serial_link serial;
  link_recovery recovery;  // RECONNECT; off by default
  // PORTNAME, and this engine's place in the process's record of held ports.
  // While another engine holds the port, the engine runs with its link closed
  // and its worker opens the port once that one lets go (await_port).
  wchar_t port_name[settings_value_size] = {};
  port_ticket port;
  unsigned long long waiting_since_ms = 0;
  bool said_in_use = false;
  led_settings settings;
  level_history history;
  // Chosen before the worker starts, then fixed for the engine's life; none
  // when the engine never starts (no PORTNAME).
  std::unique_ptr<engine_driver> driver;
  engine_notices notices;  // the lines that say why the lights stay dark
  // LIVE=1 with a file read: set before the worker starts, then the worker's.
  std::unique_ptr<live_settings> live;

  // Claims port_name and opens it, or waits for it while another instance
  // of this process holds it (await_port opens it then): false when it is
  // neither open nor waited for.
  bool take_port();
  // The claim itself; the port is let go again when it does not open.
  bool claim_port();
  // The closing command when the link is open, then the close line.
  void close_link();
  // Lets the port go to the instance that asked and waits for it again.
  void step_aside();
  void copy_port_name(const wchar_t* name);
  // LIVE=1, worker between turns: applies a settled change of the file (the
  // seventeen, PORTNAME) and says so; true when it was applied (reload_ is
  // then the file's record, for the driver).
  bool follow_settings();
  void tell_kept(const settings_fault& fault);
  settings_record reload_;
};

// How long a port may stay with another instance before the waiting one says
// so: the player releases the old chain right after building the new one.
constexpr unsigned long long in_use_notice_ms = 1000;

// The worker thread's entry; the argument is the engine. Every pass: the
// stop (then the driver's last turn), the not-stereo line, the port, then one
// turn of the driver. Returns 0.
unsigned worker_main(void* engine);

}  // namespace fulgora
