#include "host/visualisation.h"

#include "host/service_lookup.h"

namespace fulgora {

bool open_playback_clock(service_ptr_t<visualisation_stream>& out) {
  out.release();
  service_base* manager = first_service(visualisation_manager::class_guid);
  if (manager == nullptr) return false;
  static_cast<visualisation_manager*>(manager)->create_stream(out, 0);
  manager->service_release();
  return static_cast<bool>(out);
}

}  // namespace fulgora
