#include "host/visualisation.h"

#include "host/console.h"

namespace fulgora {

bool open_playback_clock(service_ptr_t<visualisation_stream>& out) {
  out.release();
  if (!g_services_available || g_foobar2000_api == nullptr) return false;
  foobar2000_api* api = g_foobar2000_api;
  const service_class_ref clazz = api->service_enum_find_class(visualisation_manager::class_guid);
  if (clazz == nullptr) return false;
  // As in console_print: no destructor has work to do while the player runs.
  service_ptr holder;
  if (!api->service_enum_create(holder, clazz, 0)) return false;
  service_base* manager = holder.detach();
  if (manager == nullptr) return false;
  static_cast<visualisation_manager*>(manager)->create_stream(out, 0);
  manager->service_release();
  return static_cast<bool>(out);
}

}  // namespace fulgora
