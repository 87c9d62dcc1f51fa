// The two objects the export trades (follows the SDK's component.h): the
// player's services interface, handed in, and the component's client, handed
// back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/abort_callback.h"
#include "host/file.h"
#include "host/service.h"

// The player's services interface.
class foobar2000_api {
 public:
  virtual service_class_ref service_enum_find_class(const GUID& guid) = 0;
  // Stores the class's instance at index in out; false past the last one.
  virtual bool service_enum_create(service_ptr& out, service_class_ref clazz, size_t index) = 0;
  virtual size_t service_enum_get_count(service_class_ref clazz) = 0;
  virtual void* get_main_window() = 0;
  virtual bool assert_main_thread() = 0;
  virtual bool is_main_thread() = 0;
  virtual bool is_shutting_down() = 0;
  // UTF-8 path of the player's profile folder.
  virtual const char* get_profile_path() = 0;
  virtual bool is_initializing() = 0;
  virtual bool is_portable_mode_enabled() = 0;
  virtual bool is_quiet_mode_enabled() = 0;

 protected:
  ~foobar2000_api() = default;
};

class foobar2000_client {
 public:
  virtual uint32_t get_version() = 0;
  virtual service_factory_base* get_service_list() = 0;
  virtual void get_config(stream_writer* stream, abort_callback& abort) = 0;
  virtual void set_config(stream_reader* stream, abort_callback& abort) = 0;
  virtual void set_library_path(const char* path, const char* name) = 0;
  virtual void services_init(bool val) = 0;
  virtual bool is_debug() = 0;

 protected:
  ~foobar2000_client() = default;
};

// The export's signature.
typedef foobar2000_client* (*foobar2000_get_interface_t)(foobar2000_api* api, void* instance);
