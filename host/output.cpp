#include "host/output.h"

#include <cmath>

#include "host/console.h"

namespace fulgora {

bool read_output_buffer_length(double& seconds) {
  if (!g_services_available || g_foobar2000_api == nullptr) return false;
  foobar2000_api* api = g_foobar2000_api;
  const service_class_ref clazz = api->service_enum_find_class(output_manager::class_guid);
  if (clazz == nullptr) return false;
  service_ptr holder;
  if (!api->service_enum_create(holder, clazz, 0)) return false;
  service_base* manager = holder.detach();
  if (manager == nullptr) return false;
  output_core_config config{};
  static_cast<output_manager*>(manager)->get_core_config(&config, sizeof config);
  manager->service_release();
  if (!(config.buffer_length > 0.0 && config.buffer_length <= 60.0)) return false;
  seconds = config.buffer_length;
  return true;
}

}  // namespace fulgora
