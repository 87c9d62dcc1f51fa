#include "engine/led_engine.h"

#include <cstdio>
#include <cwchar>

#include "engine/measure.h"
#include "host/console.h"
#include "platform/clock.h"

namespace fulgora {

led_engine::led_engine(serial_port_api& port_api) : led_engine(read_settings(), port_api) {}

led_engine::led_engine(const settings_record& file, serial_port_api& port_api,
                       const ms_clock& retry_clock)
    : serial(port_api, console_print),
      recovery(file.PORTNAME[0] != 0 && file.RECONNECT, retry_clock),
      notices(serial.sink()) {
  if (file.PORTNAME[0] == 0) {
    if (!file.file_found) notices.tell_no_settings_file();  // no PORTNAME in a file: chosen
    return;
  }
  try {
    bool no_clock = false;
    driver = make_driver(file, no_clock);  // the mode, once
    if (file.LIVE && !file.path.empty()) live.reset(new live_settings(file.path));
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
    if (!driver) driver = make_driver(settings_record(), no_clock);
    if (name != port_name) copy_port_name(name);
    // RECONNECT: a port that does not open at the start is tried again as
    // after an unplug (silently, until it opens).
    const bool opened = take_port() || recovery.enabled();
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
  notices.note_channels(chunk.get_channels());  // not stereo: the worker says it, once
  port.note_offered(chunk.get_sample_count(), chunk.get_srate());
  if (driver) driver->offer(chunk, running);
}

void led_engine::stop() {
  if (!running) return;
  set_event(stop_event);
  serial.cancel_writes(true);  // a stuck write ends now
  driver->wake();
  join_thread(worker_thread);
  serial.cancel_writes(false);
  release_resources();
}

void led_engine::release_resources() {
  if (stop_event) close_event(stop_event);
  stop_event = nullptr;
  if (worker_thread) close_thread(worker_thread);
  worker_thread = nullptr;
  if (driver) driver->finish();  // before the port is let go
  close_link();
  port.withdraw();  // after the close line: the next holder's open follows it
  running = false;
}

bool led_engine::take_port() {
  said_in_use = false;
  port.prepare(port_name);
  if (claim_port()) return true;
  if (port.waiting()) waiting_since_ms = monotonic_ms();
  return port.waiting();
}

bool led_engine::claim_port() {
  if (!port.claim()) return false;
  if (serial.open(port_name)) return true;
  port.release();
  return false;
}

void led_engine::close_link() {
  if (serial.is_open()) serial.send_closing_command();
  serial.close();
}

void led_engine::step_aside() {
  port.step_aside();
  waiting_since_ms = monotonic_ms();
  said_in_use = false;
}

void led_engine::await_port() {
  if (port.note_pace(monotonic_ms())) {
    // A converter's chain, and playback waits for the port: the board gets
    // this one's closing command, then playback's commands.
    close_link();
    step_aside();
    return;
  }
  if (port.held() && port.asked_to_step_aside()) {
    // A newer copy in this chain: it drives the board. Nothing was sent
    // yet, so the board gets no closing command of this one's.
    serial.close();
    step_aside();
    return;
  }
  if (!port.waiting()) return;
  if (port.freed_since_claim()) {
    claim_port();
    return;
  }
  if (!said_in_use && monotonic_ms() - waiting_since_ms >= in_use_notice_ms) {
    said_in_use = true;
    notices.tell("com port in use by another instance.");
  }
}

void led_engine::tell_kept(const settings_fault& fault) {
  char key[64], line[160];
  key_text(fault.key, key, sizeof key);
  std::snprintf(line, sizeof line, "settings: %s %s, values in force kept.", key,
                fault.empty ? "empty" : "malformed");
  notices.tell(line);
}

bool led_engine::follow_settings() {
  if (!live) return false;
  settings_fault fault;
  const live_settings::outcome seen = live->poll(monotonic_seconds(), reload_, fault);
  if (seen == live_settings::unreadable)
    notices.tell("settings: file unreadable, empty or without [SETTING], values in force kept.");
  if (seen != live_settings::changed) return false;
  // The enhancer's history goes on when its length stays; one of a new
  // length that cannot be had fails the change too.
  if (!fault.key && reload_.tuning.ENHANCER_MEAN_COUNT == history.capacity)
    settings = reload_.tuning;
  else if (!fault.key)
    fulgora::load_settings(reload_, settings, history, &fault);
  if (fault.key) {
    tell_kept(fault);
    return false;
  }
  if (std::wcscmp(reload_.PORTNAME, port_name) != 0) {
    // The old port closes as at the end; the new one opens as a new
    // instance's would: at once, or once another instance lets it go.
    close_link();
    port.withdraw();
    copy_port_name(reload_.PORTNAME);
    said_in_use = false;
    if (port_name[0] != 0) take_port();  // none: measure only
  }
  notices.tell("settings: reloaded.");
  return true;
}

void led_engine::copy_port_name(const wchar_t* name) {
  std::wcsncpy(port_name, name, settings_value_size - 1);
  port_name[settings_value_size - 1] = 0;
}

bool led_engine::measure(band_analyzer& analyzer, uint8_t channels[3], bool feed,
                         band_levels* levels) {
  if (measure_block(analyzer, settings, history, channels, feed, levels)) return true;
  notices.tell_failed_analysis(analyzer);
  return false;
}

void led_engine::reshape(const band_levels& levels, uint8_t channels[3]) {
  shape_levels(levels, shaping_of(settings), history, channels, false);
}

bool led_engine::send(const uint8_t channels[3]) {
  if (!recovery.link_ready(serial, port, port_name)) return false;  // down: measure only
  serial.send_level_command(channels);
  recovery.after_command(serial, port);
  return true;
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
    engine.await_port();
    if (engine.follow_settings()) engine.driver->retune(engine.reload_);  // LIVE=1: between turns
    engine.driver->turn(engine);
  }
}

}  // namespace fulgora
