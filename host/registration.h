// How a component presents itself to the player: the service registration
// list, the DSP entry, the component version record and the client object the
// export returns. Everything here is fixed after load and shared without locks.
#pragma once

#include <cstdint>
#include <new>

#include "host/dsp.h"
#include "host/player_types.h"
#include "host/service.h"

// A node of the registration list. Each static factory pushes itself onto the
// list when the library loads, so the last constructed comes first.
class service_factory_base {
public:
  virtual void instance_create(service_ptr& out) = 0;

  service_factory_base* get_next() const { return next_; }
  const GUID& get_class_guid() const { return class_guid_; }
  static service_factory_base* list_head() { return head(); }

protected:
  explicit service_factory_base(const GUID& class_guid) : next_(head()), class_guid_(class_guid) {
    head() = this;
  }
  ~service_factory_base() = default;

private:
  static service_factory_base*& head();
  service_factory_base* next_;
  const GUID& class_guid_;
};

class dsp_entry : public service_base {
public:
  static constexpr GUID class_guid = {
      0x0D048731, 0x8AA8, 0x4704, {0x8A, 0xD6, 0x18, 0x9E, 0x24, 0xD4, 0x8C, 0x88}};
  virtual void get_name(pfc::string_base& out) = 0;
  virtual bool get_default_preset(dsp_preset& out) = 0;
  virtual bool instantiate(service_ptr_t<dsp>& out, const dsp_preset& preset) = 0;
  virtual GUID get_guid() = 0;
  virtual bool have_config_popup() = 0;
  virtual bool show_config_popup(dsp_preset& preset, void* parent) = 0;

protected:
  ~dsp_entry() = default;
};

class dsp_entry_v2 : public dsp_entry {
public:
  static constexpr GUID class_guid = {
      0x9EC5D45E, 0x10F5, 0x46A7, {0x95, 0x46, 0xF3, 0xAC, 0xEC, 0x68, 0xB1, 0x49}};
  virtual void show_config_popup_v2(const dsp_preset& preset, void* parent,
                                    dsp_preset_edit_callback& callback) = 0;

protected:
  ~dsp_entry_v2() = default;
};

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

// What the export returns.
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

// A registration node holding one static service object.
template <typename T>
class service_factory_single_t final : public service_factory_base {
public:
  service_factory_single_t() : service_factory_base(T::class_guid) {}
  void instance_create(service_ptr& out) override { out.set(&instance_); }

private:
  service_impl_single_t<T> instance_;
};

// The DSP entry of DSP class T: T supplies g_get_name, g_get_guid and
// g_get_default_preset; instances are service_impl_t<T>.
template <typename T, typename base = dsp_entry_v2>
class dsp_entry_v2_impl_t : public base {
public:
  static constexpr GUID class_guid = dsp_entry::class_guid;  // registered as a dsp_entry

  bool service_query(service_ptr& out, const GUID& guid) override {
    if (guid == dsp_entry_v2::class_guid || guid == dsp_entry::class_guid) {
      out.set(this);
      return true;
    }
    return false;
  }
  void get_name(pfc::string_base& out) override { T::g_get_name(out); }
  bool get_default_preset(dsp_preset& out) override { return T::g_get_default_preset(out); }
  bool instantiate(service_ptr_t<dsp>& out, const dsp_preset& preset) override {
    if (preset.get_owner() != T::g_get_guid()) return false;
    out.set(new service_impl_t<T>());
    return true;
  }
  GUID get_guid() override { return T::g_get_guid(); }
  bool have_config_popup() override { return false; }
  bool show_config_popup(dsp_preset& preset, void* parent) override {
    struct recorder final : dsp_preset_edit_callback {
      dsp_preset_impl copy;
      void on_preset_changed(const dsp_preset& p) override { copy = p; }
    } edits;
    edits.copy = preset;
    show_config_popup_v2(preset, parent, edits);
    const bool same = edits.copy.get_owner() == preset.get_owner() &&
                      edits.copy.get_data_size() == preset.get_data_size() &&
                      std::char_traits<char>::compare(
                          static_cast<const char*>(edits.copy.get_data()),
                          static_cast<const char*>(preset.get_data()), preset.get_data_size()) == 0;
    if (same) return false;
    preset.set_owner(edits.copy.get_owner());
    preset.set_data(edits.copy.get_data(), edits.copy.get_data_size());
    return true;
  }
  void show_config_popup_v2(const dsp_preset&, void*, dsp_preset_edit_callback&) override {}

protected:
  ~dsp_entry_v2_impl_t() = default;
};

template <typename T>
using dsp_factory_t = service_factory_single_t<dsp_entry_v2_impl_t<T, dsp_entry_v2>>;
