#include "tools/play/component.h"

#include "platform/process.h"

namespace fulgora_play {

const GUID fulgora_dsp_guid = {
    0x5263A499, 0x99DB, 0x4572, {0x81, 0x47, 0xD3, 0xEA, 0x27, 0x21, 0x9B, 0x12}};

bool component::open(const std::string& path, std::string& error) {
  path_ = path;
  std::string why;
  library_ = fulgora::open_library(path, why);
  if (!library_) {
    error = path + ": cannot load: " + why;
    return false;
  }
  get_interface_ = reinterpret_cast<foobar2000_get_interface_t>(
      fulgora::library_symbol(library_, "foobar2000_get_interface"));
  if (!get_interface_) error = path + ": has no foobar2000_get_interface export";
  return get_interface_ != nullptr;
}

void component::start(foobar2000_api* services, const std::string& name) {
  client_ = get_interface_(services, library_);
  client_->set_library_path(path_.c_str(), name.c_str());
  client_->services_init(true);
}

// Finds the registered service of a class through the client's list.
service_base* component::find_service(const GUID& clazz, service_ptr& holder) {
  for (service_factory_base* node = client_->get_service_list(); node; node = node->get_next()) {
    if (node->get_class_guid() != clazz) continue;
    node->instance_create(holder);
    return holder.get();
  }
  return nullptr;
}

std::string component::version() {
  auto* v =
      static_cast<componentversion*>(find_service(componentversion::class_guid, version_holder_));
  if (!v) return "";
  pfc::string8 name, number;
  v->get_component_name(name);
  v->get_component_version(number);
  return std::string(name.get_ptr()) + " " + number.get_ptr();
}

dsp_entry* component::fulgora_entry() {
  auto* entry = static_cast<dsp_entry*>(find_service(dsp_entry::class_guid, entry_holder_));
  return entry && entry->get_guid() == fulgora_dsp_guid ? entry : nullptr;
}

void component::unload() {
  client_->services_init(false);
  entry_holder_.release();
  version_holder_.release();
  fulgora::close_library(library_);  // as the player unloads its components
}

}  // namespace fulgora_play
