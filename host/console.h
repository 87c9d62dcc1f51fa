// The player's console receivers (follows the SDK's console.h) and the
// component's only status output, one line on them.
//
// console_print may be called from any thread; it never fails, throws
// nothing of its own and takes no lock. Silent until the player has handed
// over its services and said they may be called (service_lookup.h).
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

void console_print(const char* text);

}  // namespace fulgora
