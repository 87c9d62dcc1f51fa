#include <memory>

#include "engine/default/default_mode.h"
#include "engine/driver.h"
#include "engine/sync/sync_mode.h"

namespace fulgora {

std::unique_ptr<engine_driver> make_driver(const settings_record& file, bool& no_clock) {
  no_clock = false;
  if (file.sync.SYNC) {
    if (std::unique_ptr<sync_mode> sync = make_sync_mode(file.sync)) return sync;
    no_clock = true;
  }
  return std::unique_ptr<engine_driver>(new default_mode);
}

}  // namespace fulgora
