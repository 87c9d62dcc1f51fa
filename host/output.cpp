#include "host/output.h"

#include <cmath>

#include "host/service_lookup.h"

namespace fulgora {

bool read_output_buffer_length(double& seconds) {
  service_base* manager = first_service(output_manager::class_guid);
  if (manager == nullptr) return false;
  output_core_config config{};
  static_cast<output_manager*>(manager)->get_core_config(&config, sizeof config);
  manager->service_release();
  if (!(config.buffer_length > 0.0 && config.buffer_length <= 60.0)) return false;
  seconds = config.buffer_length;
  return true;
}

}  // namespace fulgora
