#include "host/console.h"

#include "host/service_lookup.h"

namespace fulgora {

void console_print(const char* text) {
  if (!g_services_available || g_foobar2000_api == nullptr) return;
  foobar2000_api* api = g_foobar2000_api;
  const service_class_ref clazz = api->service_enum_find_class(console_receiver::class_guid);
  // No destructor has anything to do while the player runs: the holder is
  // empty whenever it is handed over, and the receiver's reference is given
  // back by an explicit release once print has returned.
  for (size_t index = 0;; ++index) {
    service_ptr holder;
    if (!api->service_enum_create(holder, clazz, index)) return;
    service_base* receiver = holder.detach();
    if (receiver == nullptr) continue;
    static_cast<console_receiver*>(receiver)->print(text, ~size_t{0});
    receiver->service_release();
  }
}

}  // namespace fulgora
