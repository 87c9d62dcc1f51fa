// The component's side of the registration: factory nodes holding static
// service objects, and the DSP entry of a DSP class (after the SDK's
// service.h and dsp.h helpers). Everything here is fixed after load and
// shared without locks.
#pragma once

#include <cstring>
#include <new>
#include <type_traits>

#include "host/component.h"
#include "host/componentversion.h"
#include "host/dsp.h"
#include "host/firewall.h"
#include "host/service.h"
#include "host/service_impl.h"

// A registration node holding one static service object.
template <typename T>
class service_factory_single_t final : public service_factory_base {
 public:
  service_factory_single_t() : service_factory_base(T::class_guid) {}
  void instance_create(service_ptr& out) override { out.set(&instance_); }

 private:
  service_impl_single_t<T> instance_;
};

namespace fulgora {
// Asks a DSP class for an instance that only passes audio through: what the
// entry hands the player when the full instance cannot be built, since the
// player takes a refused instantiate for a bug of its own and stops.
struct pass_through_t {
  bool out_of_memory = true;  // false: the full instance failed for another reason
};
// A DSP class that has the T(pass_through_t) constructor says so with
// `static constexpr bool can_pass_through = true;` (its destructor is not
// public, so the constructor cannot be detected directly).
template <typename T, typename = void>
struct can_pass_through : std::false_type {};
template <typename T>
struct can_pass_through<T, std::void_t<decltype(T::can_pass_through)>>
    : std::bool_constant<T::can_pass_through> {};
}  // namespace fulgora

// The DSP entry of DSP class T: T supplies g_get_name and g_get_guid;
// instances are service_impl_t<T>, or service_impl_t<T>(pass_through_t) when
// T has that and the first cannot be built.
template <typename T, typename base = dsp_entry_v2>
class dsp_entry_v2_impl_t : public base {
 public:
  using base::get_guid;
  static constexpr GUID class_guid = dsp_entry::class_guid;  // registered as a dsp_entry

  bool service_query(service_ptr& out, const GUID& guid) override {
    if (guid == dsp_entry_v2::class_guid || guid == dsp_entry::class_guid) {
      out.set(this);
      return true;
    }
    return false;
  }
  void get_name(pfc::string_base& out) override { T::g_get_name(out); }
  // Owned by this DSP, no data: what instantiate takes.
  bool get_default_preset(dsp_preset& out) override {
    out.set_owner(T::g_get_guid());
    out.set_data(nullptr, 0);
    return true;
  }
  // False when not even a pass-through instance can be made: nothing is
  // created and out is untouched.
  bool instantiate(service_ptr_t<dsp>& out, const dsp_preset& preset) override {
    if (preset.get_owner() != T::g_get_guid()) return false;
    fulgora::pass_through_t why{false};
    dsp* instance = fulgora::guarded(static_cast<dsp*>(nullptr), [&why]() -> dsp* {
      try {
        return new service_impl_t<T>();
      } catch (const std::bad_alloc&) {
        why.out_of_memory = true;  // only this one is said to be memory
      }
      return nullptr;
    });
    if constexpr (fulgora::can_pass_through<T>::value) {
      if (instance == nullptr)
        instance = fulgora::guarded(static_cast<dsp*>(nullptr), [why] {
          return static_cast<dsp*>(new service_impl_t<T>(why));
        });
    }
    if (instance == nullptr) return false;
    out.set(instance);
    return true;
  }
  GUID* get_guid(GUID* result) override {
    *result = T::g_get_guid();
    return result;
  }
  bool have_config_popup() override { return false; }
  bool show_config_popup(dsp_preset& preset, void* parent) override {
    struct recorder final : dsp_preset_edit_callback {
      dsp_preset_impl copy;
      void on_preset_changed(const dsp_preset& p) override { copy = p; }
    };
    // The player's preset is read before the copy exists, so that nothing
    // of the component's is held while the player runs.
    const GUID owner = preset.get_owner();
    const void* const data = preset.get_data();
    const size_t size = preset.get_data_size();
    return fulgora::guarded(false, [&] {
      recorder edits;
      edits.copy.set_owner(owner);
      edits.copy.set_data(data, size);
      show_config_popup_v2(preset, parent, edits);
      const dsp_preset_impl& c = edits.copy;
      if (c.get_owner() == owner && c.get_data_size() == size &&
          (size == 0 || std::memcmp(c.get_data(), data, size) == 0))
        return false;
      // Reached only by a DSP whose dialog changed something; not this one.
      preset.set_owner(c.get_owner());
      preset.set_data(c.get_data(), c.get_data_size());
      return true;
    });
  }
  void show_config_popup_v2(const dsp_preset&, void*, dsp_preset_edit_callback&) override {}

 protected:
  ~dsp_entry_v2_impl_t() = default;
};

template <typename T>
using dsp_factory_t = service_factory_single_t<dsp_entry_v2_impl_t<T, dsp_entry_v2>>;
