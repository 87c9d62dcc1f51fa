// The component as the player loads it: by path, through its one export;
// then its services started, its version and its DSP entry found, and at the
// end everything released in the player's order.
#pragma once

#include <string>

#include "host/dsp.h"
#include "host/registration.h"

namespace fulgora_play {

class component {
 public:
  // Loads the library and finds its export; false with a one-line reason.
  bool open(const std::string& path, std::string& error);
  // Hands it the player's services and starts its services; name is the
  // library's file name without its extension.
  void start(foobar2000_api* services, const std::string& name);
  // "NAME VERSION" from its registered component version; empty without one.
  std::string version();
  // Its Fulgora DSP entry; null when it registers none.
  dsp_entry* fulgora_entry();
  // The player's unload: services stopped, references dropped, library closed.
  void unload();

 private:
  service_base* find_service(const GUID& clazz, service_ptr& holder);
  std::string path_;
  void* library_ = nullptr;
  foobar2000_get_interface_t get_interface_ = nullptr;
  foobar2000_client* client_ = nullptr;
  service_ptr version_holder_, entry_holder_;
};

extern const GUID fulgora_dsp_guid;

}  // namespace fulgora_play
