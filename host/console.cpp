#include "host/console.h"

namespace fulgora {

foobar2000_api* g_foobar2000_api = nullptr;
bool g_services_available = false;

void console_print(const char* text) {
  if (!g_services_available || g_foobar2000_api == nullptr) return;
  foobar2000_api* api = g_foobar2000_api;
  try {
    const service_class_ref clazz = api->service_enum_find_class(console_receiver::class_guid);
    service_ptr receiver;  // releases the previous instance as the next arrives
    for (size_t index = 0; api->service_enum_create(receiver, clazz, index); ++index)
      static_cast<console_receiver*>(receiver.get())->print(text, ~size_t{0});
  } catch (...) {
    // A status line is never worth an exception on the audio or worker thread.
  }
}

}  // namespace fulgora
