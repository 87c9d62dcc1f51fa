// The default driver: each block the audio thread captures is measured and
// sent at once, one block per worker cycle.
//
// The analyser changes hands through two manual-reset events, no lock. Only
// offer resets idle_event and sets data_ready_event (or, when the analyser
// has no room for a block, sets idle_event straight back); only the worker
// resets data_ready_event and sets idle_event; each side only tests the
// other's event, so neither touches the analyser during the other's turn.
// The worker polls every millisecond.
#pragma once

#include <cstdint>

#include "analysis/band_analyzer.h"
#include "engine/driver.h"
#include "platform/threads.h"

namespace fulgora {

class default_mode final : public engine_driver {
 public:
  ~default_mode() override { close_events(); }

  bool start(driver_core& core) override;
  void offer(const audio_chunk& chunk, bool running) override;
  void turn(driver_core& core) override;
  void finish() override { close_events(); }

 private:
  void close_events();
  event_handle data_ready_event = nullptr;  // a captured block waits for the worker
  event_handle idle_event = nullptr;        // the analyser may be filled
  band_analyzer analyzer;
  uint8_t channels_[3] = {0, 0, 0};  // no band has lit them yet: dark
};

}  // namespace fulgora
