#include "engine/led_engine.h"

#include <cwchar>

#include "host/console.h"
#include "platform/clock.h"

namespace fulgora {

led_engine::led_engine(serial_port_api& port_api) : led_engine(read_settings(), port_api) {}

led_engine::led_engine(const settings_record& file, serial_port_api& port_api)
    : serial(port_api, console_print) {
  notices.say = serial.say;
  if (file.PORTNAME[0] == 0) {
    if (!file.file_found) notices.tell_no_settings_file();  // no PORTNAME in a file: chosen
    return;
  }
  try {
    bool no_clock = false;
    driver = make_driver(file.sync, no_clock);  // the mode, once
    if (file.LIVE && !file.path.empty()) live.reset(new live_settings(file.path));
    recovery.enabled = file.RECONNECT;
    start(file.PORTNAME);
    if (no_clock && running) notices.tell("sync off: no playback clock.");
    load_settings(file);
    settings_loaded.store(true, std::memory_order_release);
  } catch (...) {
    stop();  // a constructor that throws runs no destructor of its own
    throw;
  }
}

led_engine::~led_engine() { stop(); }

bool led_engine::start(const wchar_t* name) {
  if (running) return false;
  bool started = false;
  try {
    bool no_clock = false;
    if (!driver) driver = make_driver(sync_settings(), no_clock);
    if (name != port_name) {
      std::wcsncpy(port_name, name, settings_value_size - 1);
      port_name[settings_value_size - 1] = 0;
    }
    port.prepare(port_name);
    // Held by another instance of this process: the worker opens it later.
    bool opened = port.claim() ? serial.open(port_name) : port.waiting;
    if (!opened && recovery.enabled) {
      // RECONNECT: a port that does not open at the start is tried again as
      // after an unplug (silently, until it opens).
      port.release();
      opened = true;
    }
    if (port.waiting) waiting_since_ms = monotonic_ms();
    if (opened && driver->start(*this) && (stop_event = create_event(false)) != nullptr &&
        (worker_thread = create_thread(worker_main, this)) != nullptr) {
      running = true;
      started = true;
    }
  } catch (...) {
    release_resources();
    throw;
  }
  if (!started) release_resources();
  return started;
}

bool led_engine::load_settings(const settings_record& file) {
  settings_fault fault;
  const bool loaded = fulgora::load_settings(file, settings, history, &fault);
  if (!loaded) notices.tell_settings_fault(fault);
  notices.tell_other_bad_keys(file);
  return loaded;
}

void led_engine::offer_chunk(const audio_chunk& chunk) {
  const unsigned channel_count = chunk.get_channels();
  if (channel_count != 2) notices.note_channels(channel_count);  // the worker says it, once
  port.note_offered(chunk.get_sample_count(), chunk.get_srate());
  if (driver) driver->offer(chunk, running);
}

void led_engine::stop() {
  if (!running) return;
  set_event(stop_event);
  serial.cancel.store(true, std::memory_order_release);  // a stuck write ends now
  driver->wake();
  join_thread(worker_thread);
  serial.cancel.store(false, std::memory_order_relaxed);
  release_resources();
}

void led_engine::release_resources() {
  if (stop_event) close_event(stop_event);
  stop_event = nullptr;
  if (worker_thread) close_thread(worker_thread);
  worker_thread = nullptr;
  if (driver) driver->finish();  // before the port is let go
  if (serial.is_open()) serial.send_closing_command();
  serial.close();
  port.withdraw();  // after the close line: the next holder's open follows it
  running = false;
}

void await_port(led_engine& engine) {
  port_ticket& port = engine.port;
  if (port.note_pace(monotonic_ms())) {
    // A converter's chain, and playback waits for the port: the board gets
    // this one's closing command, then playback's commands.
    if (engine.serial.is_open()) engine.serial.send_closing_command();
    engine.serial.close();
    port.step_aside();
    engine.waiting_since_ms = monotonic_ms();
    engine.said_in_use = false;
    return;
  }
  if (port.held && port.asked_to_step_aside()) {
    // A newer copy in this chain: it drives the board. Nothing was sent
    // yet, so the board gets no closing command of this one's.
    engine.serial.close();
    port.step_aside();
    engine.waiting_since_ms = monotonic_ms();
    return;
  }
  if (!port.waiting) return;
  if (port.freed_since_claim()) {
    if (port.claim() && !engine.serial.open(engine.port_name)) port.release();
    return;
  }
  if (!engine.said_in_use && monotonic_ms() - engine.waiting_since_ms >= in_use_notice_ms) {
    engine.said_in_use = true;
    engine.notices.tell("com port in use by another instance.");
  }
}

void send_levels(led_engine& engine, const uint8_t channels[3]) {
  if (!engine.recovery.link_ready(engine.serial, engine.port, engine.port_name))
    return;  // down: measure only
  engine.serial.send_level_command(channels);
  engine.recovery.after_command(engine.serial, engine.port);
}

unsigned worker_main(void* argument) {
  led_engine& engine = *static_cast<led_engine*>(argument);
  for (;;) {
    const bool stopping = test_event(engine.stop_event);
    engine.notices.tell_channels();  // also for a chunk noted just before the end
    if (stopping) {
      engine.driver->last_turn(engine);
      return 0;
    }
    await_port(engine);
    sync_settings next;
    if (follow_settings(engine, next)) engine.driver->retune(next);  // LIVE=1: between turns
    engine.driver->turn(engine);
  }
}

}  // namespace fulgora
