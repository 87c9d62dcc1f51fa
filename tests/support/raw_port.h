// Opens a port through the system's port layer with its line settings
// written back unchanged, for tests that talk to a board without the link.
#pragma once

#include <gtest/gtest.h>

#include "platform/serial_port.h"

namespace fulgora_test {

inline fulgora::port_handle open_raw_port(const wchar_t* name) {
  fulgora::serial_port_api& port = fulgora::system_serial_port();
  const fulgora::port_handle h = port.create_file(name);
  fulgora::comm_state s;
  EXPECT_NE(h, fulgora::invalid_port);
  if (h != fulgora::invalid_port) {
    EXPECT_TRUE(port.get_comm_state(h, s));
    EXPECT_TRUE(port.set_comm_state(h, s));
  }
  return h;
}

}  // namespace fulgora_test
