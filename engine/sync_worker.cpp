// The worker's cycle in sync mode: measure every published block at once and
// give its slot back, queue its command for the moment its audio is heard,
// and send what the playback clock says is due.
#include "engine/led_engine.h"
#include "engine/measure.h"
#include "engine/sync_mode.h"

namespace fulgora {
namespace {

// One published block into the queue; false when none was waiting.
bool measure_next(led_engine& engine, sync_mode& sync, uint8_t channels[3], uint32_t& epoch) {
  sync_slot* slot = sync.front();
  if (slot == nullptr) return false;
  if (slot->epoch != epoch) {
    sync.queue.clear();  // a seek or a new start: the old stream is never heard
    epoch = slot->epoch;
  }
  const double due_s = slot->time_s + sync.settings.SYNC_OFFSET_MS / 1000.0;
  const bool measured =
      measure_block(slot->analyzer, engine.settings, engine.history, channels);
  if (measured) sync.queue.push(due_s, channels);
  sync.pop();  // after the push: a drained ring means every block is queued
  return true;
}

// The newest due command to the board, the older due ones dropped. Nothing
// is due while playback is paused: the clock stands still.
bool send_due(led_engine& engine, sync_mode& sync) {
  if (sync.queue.size() == 0) return false;
  double now_s = 0.0;
  uint8_t due[3];
  if (!sync.clock->get_absolute_time(now_s) || !sync.queue.take_due(now_s, due)) return false;
  send_levels(engine, due);  // through RECONNECT when it is on
  return true;
}

}  // namespace

unsigned sync_worker_main(led_engine& engine) {
  sync_mode& sync = *engine.sync;
  uint8_t channels[3] = {0, 0, 0};
  uint32_t epoch = 0;
  for (;;) {
    if (test_event(engine.stop_event)) return 0;
    await_port(engine);
    const bool measured = measure_next(engine, sync, channels, epoch);
    const bool sent = send_due(engine, sync);
    if (!measured && !sent) sleep_ms(1);
  }
}

}  // namespace fulgora
