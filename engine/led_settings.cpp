#include "engine/led_settings.h"

#include "platform/settings_reader.h"

namespace fulgora {
namespace {

constexpr const wchar_t* section = L"SETTING";

// Reads one key; false when the value is empty.
bool read_value(const wchar_t* key, const wchar_t* fallback, wchar_t* buffer) {
  return read_profile_string(section, key, fallback, buffer, settings_value_size) != 0;
}

bool read_int(const wchar_t* key, const wchar_t* fallback, wchar_t* buffer, int32_t& out) {
  return read_value(key, fallback, buffer) && parse_int(buffer, out);
}
bool read_double(const wchar_t* key, const wchar_t* fallback, wchar_t* buffer, double& out) {
  return read_value(key, fallback, buffer) && parse_double(buffer, out);
}
bool read_float(const wchar_t* key, const wchar_t* fallback, wchar_t* buffer, float& out) {
  return read_value(key, fallback, buffer) && parse_float(buffer, out);
}

}  // namespace

shaping_params shaping_of(const led_settings& s) {
  shaping_params p;
  p.low = {s.LOW_ENHANCE, s.LOW_RATIO, s.LOW_GANMA, s.LOW_LEDTYPE};
  p.mid = {s.MID_ENHANCE, s.MID_RATIO, s.MID_GANMA, s.MID_LEDTYPE};
  p.high = {s.HI_ENHANCE, s.HI_RATIO, s.HI_GANMA, s.HI_LEDTYPE};
  p.enhancer = s.ENABLE_ENHANCER;
  return p;
}

bool load_settings(led_settings& settings, level_history& history) {
  wchar_t buffer[settings_value_size];
  led_settings s;
  int32_t enable = 0;
  // Table order; reading stops at the first key that fails.
  const bool ok =
      read_int(L"LOW_LEDTYPE", L"0", buffer, s.LOW_LEDTYPE) &&
      read_int(L"MID_LEDTYPE", L"1", buffer, s.MID_LEDTYPE) &&
      read_int(L"HI_LEDTYPE", L"2", buffer, s.HI_LEDTYPE) &&
      read_double(L"LOW_FREQ", L"500", buffer, s.LOW_FREQ) &&
      read_double(L"MID_FREQ", L"5000", buffer, s.MID_FREQ) &&
      read_double(L"HI_FREQ", L"22000", buffer, s.HI_FREQ) &&
      read_double(L"LOW_RATIO", L"1", buffer, s.LOW_RATIO) &&
      read_double(L"MID_RATIO", L"1", buffer, s.MID_RATIO) &&
      read_double(L"HI_RATIO", L"1", buffer, s.HI_RATIO) &&
      read_float(L"LOW_GANMA", L"1", buffer, s.LOW_GANMA) &&
      read_float(L"MID_GANMA", L"1", buffer, s.MID_GANMA) &&
      read_float(L"HI_GANMA", L"1", buffer, s.HI_GANMA) &&
      read_double(L"LOW_ENHANCE", L"0", buffer, s.LOW_ENHANCE) &&
      read_double(L"MID_ENHANCE", L"0", buffer, s.MID_ENHANCE) &&
      read_double(L"HI_ENHANCE", L"0", buffer, s.HI_ENHANCE) &&
      read_int(L"ENABLE_ENHANCER", L"0", buffer, enable) &&
      read_int(L"ENHANCER_MEAN_COUNT", L"8", buffer, s.ENHANCER_MEAN_COUNT);
  // A count whose history cannot be had fails like a malformed value.
  if (!ok || !history.resize(s.ENHANCER_MEAN_COUNT)) return false;
  s.ENABLE_ENHANCER = enable != 0;
  settings = s;
  return true;
}

}  // namespace fulgora
