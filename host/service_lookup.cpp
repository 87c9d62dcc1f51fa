#include "host/service_lookup.h"

namespace fulgora {

foobar2000_api* g_foobar2000_api = nullptr;
bool g_services_available = false;

service_base* first_service(const GUID& class_guid) {
  if (!g_services_available || g_foobar2000_api == nullptr) return nullptr;
  foobar2000_api* api = g_foobar2000_api;
  const service_class_ref clazz = api->service_enum_find_class(class_guid);
  if (clazz == nullptr) return nullptr;
  service_ptr holder;
  if (!api->service_enum_create(holder, clazz, 0)) return nullptr;
  return holder.detach();
}

}  // namespace fulgora
