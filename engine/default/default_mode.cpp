#include "engine/default/default_mode.h"

#include "platform/clock.h"

namespace fulgora {

bool default_mode::start(driver_core&) {
  return (data_ready_event = create_event(false)) != nullptr &&
         (idle_event = create_event(true)) != nullptr;
}

void default_mode::offer(const audio_chunk& chunk, bool running) {
  if (chunk.get_channels() != 2) return;
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

void default_mode::turn(driver_core& core) {
  if (!test_event(data_ready_event)) {
    sleep_ms(1);
    return;
  }
  reset_event(data_ready_event);
  if (core.measure(analyzer, channels_)) {
    core.note_measured();
    core.send(channels_);
  }
  set_event(idle_event);
}

void default_mode::close_events() {
  event_handle* events[2] = {&data_ready_event, &idle_event};
  for (event_handle* e : events) {
    if (*e) close_event(*e);
    *e = nullptr;
  }
}

}  // namespace fulgora
