// The component's version record (follows the SDK's componentversion.h).
#pragma once

#include "host/service.h"
#include "host/string_base.h"

class componentversion : public service_base {
 public:
  static constexpr GUID class_guid = {
      0x10BB3EBD, 0xDDF7, 0x4975, {0xA3, 0xCC, 0x23, 0x08, 0x48, 0x29, 0x45, 0x3E}};
  virtual void get_file_name(pfc::string_base& out) = 0;
  virtual void get_component_name(pfc::string_base& out) = 0;
  virtual void get_component_version(pfc::string_base& out) = 0;
  virtual void get_about_message(pfc::string_base& out) = 0;

 protected:
  ~componentversion() = default;
};
