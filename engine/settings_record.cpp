#include "engine/settings_record.h"

#include <climits>

namespace fulgora {
namespace {

constexpr const wchar_t* section = L"SETTING";

// Reads one key of the file into buffer; on failure notes which key and why.
struct key_reader {
  const settings_file& file;
  wchar_t buffer[settings_value_size];
  settings_fault fault;

  bool value(const wchar_t* key, const wchar_t* fallback) {
    if (file.read(section, key, fallback, buffer, settings_value_size) != 0) return true;
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
  // An opt-in key: its integer when present, well formed and within range.
  bool bounded(const wchar_t* key, const wchar_t* fallback, int32_t low, int32_t high,
               int32_t& out) {
    int32_t v = 0;
    if (!read(key, fallback, v) || v < low || v > high) return false;
    out = v;
    return true;
  }
};

// The seventeen in the order they are read, each with the text an absent key
// gives; reading stops at the first key that fails.
bool read_tuning(key_reader& r, led_settings& s) {
  int32_t enable = 0;
  const bool ok =
      r.read(L"LOW_LEDTYPE", L"0", s.LOW_LEDTYPE) && r.read(L"MID_LEDTYPE", L"1", s.MID_LEDTYPE) &&
      r.read(L"HI_LEDTYPE", L"2", s.HI_LEDTYPE) && r.read(L"LOW_FREQ", L"500", s.LOW_FREQ) &&
      r.read(L"MID_FREQ", L"5000", s.MID_FREQ) && r.read(L"HI_FREQ", L"22000", s.HI_FREQ) &&
      r.read(L"LOW_RATIO", L"1", s.LOW_RATIO) && r.read(L"MID_RATIO", L"1", s.MID_RATIO) &&
      r.read(L"HI_RATIO", L"1", s.HI_RATIO) && r.read(L"LOW_GANMA", L"1", s.LOW_GANMA) &&
      r.read(L"MID_GANMA", L"1", s.MID_GANMA) && r.read(L"HI_GANMA", L"1", s.HI_GANMA) &&
      r.read(L"LOW_ENHANCE", L"0", s.LOW_ENHANCE) && r.read(L"MID_ENHANCE", L"0", s.MID_ENHANCE) &&
      r.read(L"HI_ENHANCE", L"0", s.HI_ENHANCE) &&
      r.read(L"ENABLE_ENHANCER", L"0", enable) &&  // on when not 0
      r.read(L"ENHANCER_MEAN_COUNT", L"8", s.ENHANCER_MEAN_COUNT) &&
      // The history holds this many entries: a negative count has none.
      r.converted(L"ENHANCER_MEAN_COUNT", s.ENHANCER_MEAN_COUNT >= 0);
  s.ENABLE_ENHANCER = enable != 0;
  return ok;
}

}  // namespace

settings_record read_settings() { return read_settings(settings_file::from_places()); }

settings_record read_settings(const std::string& path) {
  return read_settings(settings_file::at(path));
}

settings_record read_settings(const settings_file& file) {
  settings_record record;
  record.file_found = file.found();
  file.read(section, L"PORTNAME", L"", record.PORTNAME, settings_value_size);  // as it stands
  key_reader r{file, {}, {}};
  led_settings tuning;
  record.tuning_read = read_tuning(r, tuning);
  if (record.tuning_read)
    record.tuning = tuning;
  else
    record.fault = r.fault;
  int32_t v = 0;
  // 1: each command goes out when its audio is heard.
  if (r.bounded(L"SYNC", L"", 0, 1, v)) record.sync.SYNC = v == 1;
  if (r.bounded(L"SYNC_OFFSET_MS", L"", -10000, 10000, v)) record.sync.SYNC_OFFSET_MS = v;
  // More than the line carries is capped, not refused.
  if (r.bounded(L"SYNC_RATE", L"", 0, INT32_MAX, v))
    record.sync.SYNC_RATE = v > max_sync_rate ? max_sync_rate : v;
  // 0 or absent: off; another integer: on; anything else: off.
  if (r.bounded(L"RECONNECT", L"0", INT32_MIN, INT32_MAX, v)) record.RECONNECT = v != 0;
  return record;
}

bool load_settings(const settings_record& record, led_settings& settings, level_history& history,
                   settings_fault* fault) {
  settings_fault failed = record.fault;
  bool ok = record.tuning_read;
  // A count whose history cannot be had fails like a malformed value.
  if (ok && !history.resize(record.tuning.ENHANCER_MEAN_COUNT))
    ok = false, failed = {L"ENHANCER_MEAN_COUNT", false};
  if (!ok) {
    if (fault) *fault = failed;
    return false;
  }
  settings = record.tuning;
  return true;
}

}  // namespace fulgora
