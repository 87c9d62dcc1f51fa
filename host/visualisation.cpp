#include "host/visualisation.h"

#include "host/console.h"

namespace fulgora {

bool open_playback_clock(service_ptr_t<visualisation_stream>& out) {
  out.release();
  if (!g_services_available || g_foobar2000_api == nullptr) return false;
  try {
    foobar2000_api* api = g_foobar2000_api;
    const service_class_ref clazz = api->service_enum_find_class(visualisation_manager::class_guid);
    service_ptr manager;
    if (clazz == nullptr || !api->service_enum_create(manager, clazz, 0) || !manager) return false;
    static_cast<visualisation_manager*>(manager.get())->create_stream(out, 0);
  } catch (...) {
    out.release();  // whatever the player threw, the mode goes without its clock
  }
  return static_cast<bool>(out);
}

}  // namespace fulgora
