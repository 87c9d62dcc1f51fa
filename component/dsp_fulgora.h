// "Fulgora(DSP)": passes every chunk through unchanged and offers each
// non-empty one to its LED engine. Created by the DSP entry, destroyed when
// the player releases the last reference (which stops the engine: the board
// gets its closing command and the port is closed).
#pragma once

#include "engine/led_engine.h"
#include "host/dsp.h"
#include "host/registration.h"
#include "host/service_impl.h"

namespace fulgora {

class dsp_fulgora : public dsp_impl_base_t<dsp_v2> {
 public:
  static constexpr GUID guid = {
      0x5263A499, 0x99DB, 0x4572, {0x81, 0x47, 0xD3, 0xEA, 0x27, 0x21, 0x9B, 0x12}};
  static GUID g_get_guid() { return guid; }
  static void g_get_name(pfc::string_base& out);

  // The serial port layer is the system's; tests may hand in a fake, and
  // settings of their own instead of the component's file.
  explicit dsp_fulgora(serial_port_api& port = system_serial_port()) : engine_(port) {}
  explicit dsp_fulgora(const settings_record& settings,
                       serial_port_api& port = system_serial_port())
      : engine_(settings, port) {}
  // Audio only, when the instance above could not be built; says why.
  explicit dsp_fulgora(pass_through_t);
  static constexpr bool can_pass_through = true;

  // A seek: nothing to do (sync mode follows the player's clock).
  void flush() override {}
  double get_latency() override { return 0.0; }
  bool need_track_change_mark() override { return false; }

  led_engine& engine() { return engine_; }

 protected:
  ~dsp_fulgora() { engine_.stop(); }
  void on_endoftrack(abort_callback&) override {}
  void on_endofplayback(abort_callback&) override {}
  bool on_chunk(audio_chunk* chunk, abort_callback&) override {
    engine_.offer_chunk(*chunk);
    return true;
  }

 private:
  led_engine engine_;
};

}  // namespace fulgora
