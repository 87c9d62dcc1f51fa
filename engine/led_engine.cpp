#include "engine/led_engine.h"

#include <cwchar>

#include "engine/measure.h"
#include "host/console.h"
#include "host/output.h"

namespace fulgora {
namespace {

// Sync mode when it was asked for and the player's clock is there; must run
// before the worker starts. True when it was asked for but cannot be had.
bool prepare_sync(std::unique_ptr<sync_mode>& sync, const sync_settings& settings) {
  if (!settings.SYNC) return false;
  service_ptr_t<visualisation_stream> clock;
  if (!open_playback_clock(clock)) return true;
  std::unique_ptr<sync_mode> mode(new sync_mode);
  if (!mode->prepare()) return true;
  mode->settings = settings;
  mode->clock = clock;
  double buffer_s = 0.0;
  if (read_output_buffer_length(buffer_s)) mode->output_buffer_s = buffer_s;
  sync = std::move(mode);
  return false;
}

}  // namespace

led_engine::led_engine(serial_port_api& port_api) : led_engine(read_settings(), port_api) {}

led_engine::led_engine(const settings_record& file, serial_port_api& port_api)
    : serial(port_api, console_print) {
  if (file.PORTNAME[0] == 0) {
    if (!file.file_found) tell_no_settings_file();  // no PORTNAME in a file: chosen
    return;
  }
  try {
    const bool no_clock = prepare_sync(sync, file.sync);
    if (file.LIVE && !file.path.empty()) live.reset(new live_settings(file.path));
    // Before the worker starts: a stream taken over sends at once.
    recovery.enabled = file.RECONNECT;
    start(file.PORTNAME);
    if (no_clock && running) console_print("sync off: no playback clock.");
    load_settings(file);
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
    if (name != port_name) {
      std::wcsncpy(port_name, name, settings_value_size - 1);
      port_name[settings_value_size - 1] = 0;
    }
    port.prepare(port_name);
    // Held by another instance of this process: the worker opens it later.
    const bool opened = port.claim() ? serial.open(port_name) : port.waiting;
    if (port.waiting) waiting_since_ms = monotonic_ms();
    if (opened && (data_ready_event = create_event(false)) != nullptr &&
        (idle_event = create_event(true)) != nullptr &&
        (stop_event = create_event(false)) != nullptr &&
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
  if (fulgora::load_settings(file, settings, history, &fault)) return true;
  tell_settings_fault(fault);
  return false;
}

void led_engine::offer_chunk(const audio_chunk& chunk) {
  const unsigned channel_count = chunk.get_channels();
  if (channel_count != 2) notices.note_channels(channel_count);  // the worker says it, once
  if (sync) {
    sync->offer(chunk, running);
    return;
  }
  if (channel_count != 2) return;
  if (!running) return;
  if (!test_event(idle_event)) return;
  // All is read from the player's chunk before the gate is taken: nothing of
  // the hand-off is left pending while the player runs.
  const unsigned rate = chunk.get_srate();
  const size_t frames = chunk.get_sample_count();
  const audio_sample* data = chunk.get_data();
  reset_event(idle_event);
  if (analyzer.capture_samples(rate, frames, data) == capture_result::no_room)
    set_event(idle_event);  // passes unmeasured; the gate is open again
  else
    set_event(data_ready_event);
}

void led_engine::restart_stream() {
  if (sync) sync->restart();
}

void led_engine::end_of_playback() {
  if (sync) sync->end_of_playback();
}

void led_engine::stop() {
  if (!running) return;
  set_event(stop_event);
  serial.cancel.store(true, std::memory_order_release);  // a stuck write ends now
  if (sync) sync->wake_worker();
  join_thread(worker_thread);
  serial.cancel.store(false, std::memory_order_relaxed);
  release_resources();
}

void led_engine::release_resources() {
  event_handle* events[3] = {&data_ready_event, &idle_event, &stop_event};
  for (event_handle* e : events) {
    if (*e) close_event(*e);
    *e = nullptr;
  }
  if (worker_thread) close_thread(worker_thread);
  worker_thread = nullptr;
  // Before the port is let go; a stream only an instance that drove the
  // board has measured.
  if (sync && port.held && port.measured) leave_stream(*sync, port.identity, port.order);
  if (serial.is_open()) serial.send_closing_command();
  serial.close();
  port.withdraw();  // after the close line: the next holder's open follows it
  running = false;
}

void await_port(led_engine& engine) {
  port_ticket& port = engine.port;
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
    console_print("com port in use by another instance.");
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
  if (engine.sync) return sync_worker_main(engine);
  uint8_t channels[3] = {0, 0, 0};  // no band has lit them yet: dark
  for (;;) {
    const bool stopping = test_event(engine.stop_event);
    engine.notices.tell_channels();  // also for a chunk noted just before the end
    if (stopping) return 0;
    await_port(engine);
    sync_settings unused;
    follow_settings(engine, unused);  // LIVE=1: between cycles
    if (!test_event(engine.data_ready_event)) {
      sleep_ms(1);
      continue;
    }
    reset_event(engine.data_ready_event);
    if (measure_block(engine.analyzer, engine.settings, engine.history, channels)) {
      if (!engine.port.measured) engine.port.note_measured();
      send_levels(engine, channels);
    } else
      engine.notices.tell_failed_analysis(engine.analyzer);
    set_event(engine.idle_event);
  }
}

}  // namespace fulgora
