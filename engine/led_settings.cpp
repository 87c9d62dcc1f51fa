#include "engine/led_settings.h"

#include "platform/settings_reader.h"

namespace fulgora {
namespace {

constexpr const wchar_t* section = L"SETTING";

// Reads one key into buffer; on failure notes which key and why.
struct key_reader {
  wchar_t buffer[settings_value_size];
  settings_fault fault;

  bool value(const wchar_t* key, const wchar_t* fallback) {
    if (read_profile_string(section, key, fallback, buffer, settings_value_size) != 0) return true;
    fault = {key, true};
    return false;
  }
  bool converted(const wchar_t* key, bool ok) {
    if (!ok) fault = {key, false};
    return ok;
  }
  bool read(const wchar_t* key, const wchar_t* fallback, int32_t& out) {
    return value(key, fallback) && converted(key, parse_int(buffer, out));
  }
  bool read(const wchar_t* key, const wchar_t* fallback, double& out) {
    return value(key, fallback) && converted(key, parse_double(buffer, out));
  }
  bool read(const wchar_t* key, const wchar_t* fallback, float& out) {
    return value(key, fallback) && converted(key, parse_float(buffer, out));
  }
};

}  // namespace

shaping_params shaping_of(const led_settings& s) {
  shaping_params p;
  p.low = {s.LOW_ENHANCE, s.LOW_RATIO, s.LOW_GANMA, s.LOW_LEDTYPE};
  p.mid = {s.MID_ENHANCE, s.MID_RATIO, s.MID_GANMA, s.MID_LEDTYPE};
  p.high = {s.HI_ENHANCE, s.HI_RATIO, s.HI_GANMA, s.HI_LEDTYPE};
  p.enhancer = s.ENABLE_ENHANCER;
  return p;
}

bool load_settings(led_settings& settings, level_history& history, settings_fault* fault) {
  key_reader r;
  led_settings s;
  int32_t enable = 0;
  // Table order; reading stops at the first key that fails.
  bool ok = r.read(L"LOW_LEDTYPE", L"0", s.LOW_LEDTYPE) &&
            r.read(L"MID_LEDTYPE", L"1", s.MID_LEDTYPE) &&
            r.read(L"HI_LEDTYPE", L"2", s.HI_LEDTYPE) &&
            r.read(L"LOW_FREQ", L"500", s.LOW_FREQ) &&
            r.read(L"MID_FREQ", L"5000", s.MID_FREQ) &&
            r.read(L"HI_FREQ", L"22000", s.HI_FREQ) &&
            r.read(L"LOW_RATIO", L"1", s.LOW_RATIO) &&
            r.read(L"MID_RATIO", L"1", s.MID_RATIO) &&
            r.read(L"HI_RATIO", L"1", s.HI_RATIO) &&
            r.read(L"LOW_GANMA", L"1", s.LOW_GANMA) &&
            r.read(L"MID_GANMA", L"1", s.MID_GANMA) &&
            r.read(L"HI_GANMA", L"1", s.HI_GANMA) &&
            r.read(L"LOW_ENHANCE", L"0", s.LOW_ENHANCE) &&
            r.read(L"MID_ENHANCE", L"0", s.MID_ENHANCE) &&
            r.read(L"HI_ENHANCE", L"0", s.HI_ENHANCE) &&
            r.read(L"ENABLE_ENHANCER", L"0", enable) &&
            r.read(L"ENHANCER_MEAN_COUNT", L"8", s.ENHANCER_MEAN_COUNT);
  // A count whose history cannot be had fails like a malformed value.
  if (ok && !history.resize(s.ENHANCER_MEAN_COUNT)) ok = r.converted(L"ENHANCER_MEAN_COUNT", false);
  if (!ok) {
    if (fault) *fault = r.fault;
    return false;
  }
  s.ENABLE_ENHANCER = enable != 0;
  settings = s;
  return true;
}

}  // namespace fulgora
