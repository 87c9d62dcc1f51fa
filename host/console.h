// The player's console receivers (follows the SDK's console.h) and the
// component's only status output, one line on them.
//
// console_print may be called from any thread; it never fails, throws
// nothing of its own and takes no lock. Silent until the player has handed
// over its services and said they may be called (the export and
// services_init set the two values below).
#pragma once

#include <cstddef>

#include "host/component.h"
#include "host/service.h"

// A console of the player; every registered receiver shows each line.
class console_receiver : public service_base {
 public:
  static constexpr GUID class_guid = {
      0x90DF5270, 0x65BB, 0x4DBA, {0xBA, 0xF5, 0x86, 0xBE, 0x9E, 0x59, 0xDC, 0x20}};
  // length all bits set: up to the terminating zero.
  virtual void print(const char* text, size_t length) = 0;

 protected:
  ~console_receiver() = default;
};

namespace fulgora {

// Process-wide, written only by the player's calls to the export and to
// services_init; read without synchronisation.
extern foobar2000_api* g_foobar2000_api;
extern bool g_services_available;

void console_print(const char* text);

// The player's first service of a class (index 0), with one reference the
// caller releases; null before the player's services are up or when it has
// none. No destructor has work to do while the player runs.
service_base* first_service(const GUID& class_guid);

}  // namespace fulgora
