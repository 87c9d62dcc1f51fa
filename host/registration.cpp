#include "host/registration.h"

service_factory_base*& service_factory_base::head() {
  // A function-local static: factories register during static initialisation.
  static service_factory_base* first = nullptr;
  return first;
}
