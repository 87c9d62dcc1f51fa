#include "engine/settings_record.h"

#include <climits>
#include <cwchar>

#include "engine/conversions.h"

namespace fulgora {
namespace {

using form = settings_key::form_t;
using record = settings_record;
using value = const key_value&;

const char* const number = "a whole decimal number";
const char* const decimal = "a number with a point, as 2.5";

}  // namespace

// The seventeen are read in this order and the first that fails fails them
// all; each opt-in key stands on its own.
const settings_key settings_keys[] = {
    {L"PORTNAME", L"", form::text, false, 0, 0, "any text",  // as it stands; empty: no port
     [](record& r, value v) { std::wcsncpy(r.PORTNAME, v.text, settings_value_size - 1); }},
    {L"LOW_LEDTYPE", L"0", form::integer, true, INT32_MIN, INT32_MAX, number,
     [](record& r, value v) { r.tuning.LOW_LEDTYPE = v.integer; }},
    {L"MID_LEDTYPE", L"1", form::integer, true, INT32_MIN, INT32_MAX, number,
     [](record& r, value v) { r.tuning.MID_LEDTYPE = v.integer; }},
    {L"HI_LEDTYPE", L"2", form::integer, true, INT32_MIN, INT32_MAX, number,
     [](record& r, value v) { r.tuning.HI_LEDTYPE = v.integer; }},
    {L"LOW_FREQ", L"500", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.LOW_FREQ = v.real; }},
    {L"MID_FREQ", L"5000", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.MID_FREQ = v.real; }},
    {L"HI_FREQ", L"22000", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.HI_FREQ = v.real; }},
    {L"LOW_RATIO", L"1", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.LOW_RATIO = v.real; }},
    {L"MID_RATIO", L"1", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.MID_RATIO = v.real; }},
    {L"HI_RATIO", L"1", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.HI_RATIO = v.real; }},
    {L"LOW_GANMA", L"1", form::single, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.LOW_GANMA = v.single; }},
    {L"MID_GANMA", L"1", form::single, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.MID_GANMA = v.single; }},
    {L"HI_GANMA", L"1", form::single, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.HI_GANMA = v.single; }},
    {L"LOW_ENHANCE", L"0", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.LOW_ENHANCE = v.real; }},
    {L"MID_ENHANCE", L"0", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.MID_ENHANCE = v.real; }},
    {L"HI_ENHANCE", L"0", form::real, true, 0, 0, decimal,
     [](record& r, value v) { r.tuning.HI_ENHANCE = v.real; }},
    {L"ENABLE_ENHANCER", L"0", form::integer, true, INT32_MIN, INT32_MAX, number,
     [](record& r, value v) { r.tuning.ENABLE_ENHANCER = v.integer != 0; }},
    // The history holds this many entries: a negative count has none.
    {L"ENHANCER_MEAN_COUNT", L"8", form::integer, true, 0, INT32_MAX, "a count of 0 or more",
     [](record& r, value v) { r.tuning.ENHANCER_MEAN_COUNT = v.integer; }},
    {L"SYNC", L"", form::integer, false, 0, 1, "0 or 1",
     [](record& r, value v) { r.sync.SYNC = v.integer == 1; }},
    {L"SYNC_OFFSET_MS", L"", form::integer, false, -10000, 10000,
     "whole milliseconds from -10000 to 10000",
     [](record& r, value v) { r.sync.SYNC_OFFSET_MS = v.integer; }},
    // More than the line carries is capped, not refused.
    {L"SYNC_RATE", L"", form::integer, false, 0, INT32_MAX, "a whole number of 0 or more",
     [](record& r, value v) {
       r.sync.SYNC_RATE = v.integer > max_sync_rate ? max_sync_rate : v.integer;
     }},
    {L"PAUSE_FADE_MS", L"", form::integer, false, 0, 10000, "whole milliseconds from 0 to 10000",
     [](record& r, value v) { r.sync.PAUSE_FADE_MS = v.integer; }},
    // 0 or absent: off; another integer: on; anything else: off.
    {L"RECONNECT", L"0", form::integer, false, INT32_MIN, INT32_MAX, number,
     [](record& r, value v) { r.RECONNECT = v.integer != 0; }},
    {L"LIVE", L"", form::integer, false, 0, 1, "0 or 1",
     [](record& r, value v) { r.LIVE = v.integer == 1; }},
};
const size_t settings_key_count = sizeof settings_keys / sizeof settings_keys[0];

bool passes(const settings_key& key, const wchar_t* text, key_value& v) {
  v.text = text;
  switch (key.form) {
    case form::text:
      return true;
    case form::integer:
      return text[0] != 0 && parse_int(text, v.integer) && v.integer >= key.low &&
             v.integer <= key.high;
    case form::real:
      return text[0] != 0 && parse_double(text, v.real);
    case form::single:
      return text[0] != 0 && parse_float(text, v.single);
  }
  return false;
}

settings_record read_settings() { return read_settings(settings_file::from_places()); }

settings_record read_settings(const std::string& path) {
  return read_settings(settings_file::at(path));
}

settings_record read_settings(const settings_file& file) {
  settings_record result;
  result.file_found = file.found();
  result.path = file.path();
  bool tuning_failed = false;
  wchar_t buffer[settings_value_size];
  for (size_t i = 0; i < settings_key_count; ++i) {
    const settings_key& key = settings_keys[i];
    key_value v;
    // An opt-in key's fallback may itself fail its rule: absence is told by a
    // mark no file holds.
    const bool empty = file.read(L"SETTING", key.name, L"\x1f", buffer, settings_value_size) == 0;
    const bool absent = buffer[0] == L'\x1f' && buffer[1] == 0;
    if (absent) file.read(L"SETTING", key.name, key.fallback, buffer, settings_value_size);
    const bool ok = passes(key, buffer, v);
    if (!ok && !absent && result.bad_key_count < settings_record::max_bad_keys)
      result.bad_keys[result.bad_key_count++] = {key.name, empty};
    if (!ok && key.tuning && !tuning_failed) result.fault = {key.name, empty};
    if (ok && !(key.tuning && tuning_failed)) key.store(result, v);
    tuning_failed = tuning_failed || (!ok && key.tuning);
  }
  result.tuning_read = !tuning_failed;
  if (tuning_failed) result.tuning = led_settings();  // all or nothing
  return result;
}

bool load_settings(const settings_record& record, led_settings& settings, level_history& history,
                   settings_fault* fault) {
  settings_fault failed = record.fault;
  bool ok = record.tuning_read;
  // A well-formed count whose history cannot be had fails the load as a
  // malformed value does, and is said to be too large.
  if (ok && !history.resize(record.tuning.ENHANCER_MEAN_COUNT))
    ok = false, failed = {L"ENHANCER_MEAN_COUNT", false, true};
  if (!ok) {
    if (fault) *fault = failed;
    return false;
  }
  settings = record.tuning;
  return true;
}

}  // namespace fulgora
