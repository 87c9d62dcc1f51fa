// The component's registrations, client object and export.
#include <cstring>
#include <string>

#include "component/dsp_fulgora.h"
#include "host/console.h"
#include "host/firewall.h"
#include "host/registration.h"
#include "host/service_lookup.h"
#include "platform/crash_hooks.h"
#include "platform/settings_reader.h"

namespace fulgora {

void dsp_fulgora::g_get_name(pfc::string_base& out) {
  static const char name[] = "Fulgora(DSP)";
  out.set_string(name, sizeof name - 1);
}

dsp_fulgora::dsp_fulgora(pass_through_t why) : engine_(led_engine::lights_off) {
  console_print(why.out_of_memory ? "lights off: out of memory." : "lights off: unexpected error.");
}

namespace {

std::string g_file_name;

void set(pfc::string_base& out, const char* text) { out.set_string(text, std::strlen(text)); }

class componentversion_myimpl : public componentversion {
 public:
  static constexpr GUID class_guid = componentversion::class_guid;
  bool service_query(service_ptr& out, const GUID& guid) override {
    if (guid != componentversion::class_guid) return false;
    out.set(this);
    return true;
  }
  void get_file_name(pfc::string_base& out) override { set(out, g_file_name.c_str()); }
  void get_component_name(pfc::string_base& out) override { set(out, "Fulgora"); }
  void get_component_version(pfc::string_base& out) override { set(out, "1.0.0"); }
  void get_about_message(pfc::string_base& out) override {
    // "A plug-in that controls LEDs", in UTF-8 as every player string is.
    set(out,
        "LED \xe3\x82\x92\xe3\x82\xb3\xe3\x83\xb3\xe3\x83\x88\xe3\x83\xad\xe3\x83\xbc"
        "\xe3\x83\xab\xe3\x81\x99\xe3\x82\x8b\xe3\x83\x97\xe3\x83\xa9\xe3\x82\xb0"
        "\xe3\x82\xa4\xe3\x83\xb3"
        "Copyright (C) 2026 the foo_Fulgora developers");
  }

 protected:
  ~componentversion_myimpl() = default;
};

// Constructed in this order at load: the version node first, so that the DSP
// entry ends up at the head of the list.
service_factory_single_t<componentversion_myimpl> g_componentversion_factory;
dsp_factory_t<dsp_fulgora> g_dsp_factory;

class client final : public foobar2000_client {
 public:
  client() { install_crash_hooks(); }
  // The 64-bit player loads only components of client level 80 or above.
  uint32_t get_version() override { return sizeof(void*) == 8 ? 80 : 78; }
  service_factory_base* get_service_list() override { return service_factory_base::list_head(); }
  void get_config(stream_writer*, abort_callback&) override {}
  // Nothing here throws of its own; what the player's stream raises passes.
  void set_config(stream_reader* stream, abort_callback& abort) override {
    // Records of configuration variables: none are ours, so all are skipped.
    for (;;) {
      unsigned char id[16];
      if (stream->read(id, sizeof id, abort) < sizeof id) return;
      unsigned char size_bytes[4];
      stream->read_object(size_bytes, sizeof size_bytes, abort);
      const uint64_t size = uint64_t{size_bytes[0]} | uint64_t{size_bytes[1]} << 8 |
                            uint64_t{size_bytes[2]} << 16 | uint64_t{size_bytes[3]} << 24;
      stream->skip_object(size, abort);
    }
  }
  // Out of memory leaves the name empty.
  void set_library_path(const char* path, const char* name) override {
    if (guarded(false, [&] {
          g_file_name = name;
          set_settings_library_path(path);
          return true;
        }))
      return;
    g_file_name.clear();
  }
  // The profile folder is the player's to tell once its services are up.
  void services_init(bool val) override {
    g_services_available = val;
    if (!val || g_foobar2000_api == nullptr) return;
    guarded([] {
      const char* profile = g_foobar2000_api->get_profile_path();
      set_settings_profile_folder(profile ? profile : "");
    });
  }
  bool is_debug() override { return false; }
};

client g_client;

}  // namespace
}  // namespace fulgora

extern "C" FULGORA_EXPORT foobar2000_client* foobar2000_get_interface(foobar2000_api* api,
                                                                      void* /*instance*/) noexcept {
  fulgora::g_foobar2000_api = api;
  return &fulgora::g_client;
}
