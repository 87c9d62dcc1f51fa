// Everything an engine takes from its settings file, read in one go while it
// is being built and handed to it as one record; nothing below goes back to
// the file. The rule of every key stands beside it in settings_record.cpp.
//
// Threads: read on the creating thread; the record is a plain value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/level_history.h"
#include "engine/led_settings.h"
#include "engine/sync_settings.h"
#include "platform/settings_reader.h"

namespace fulgora {

// The key that failed the seventeen, and whether its value was empty or a
// mean count whose history cannot be had (otherwise malformed).
struct settings_fault {
  const wchar_t* key = nullptr;
  bool empty = false;
  bool too_large = false;
  bool ignored =
      false;  // a key after the first bad one: the line says only that it counts for nothing
};

struct settings_record {
  bool file_found = false;  // false: no file in any place (not merely no PORTNAME)
  std::string path;         // the file read (UTF-8), when one was found
  wchar_t PORTNAME[settings_value_size] = {};  // empty: the engine never starts
  // The seventeen, all or nothing: when tuning_read, the file's values (or its
  // default strings' for absent keys); otherwise the in-memory defaults, and
  // fault names the first key that failed.
  led_settings tuning;
  bool tuning_read = false;
  settings_fault fault;
  // Every key present whose value fails its rule, once each, in the table's
  // order (fault among them); an absent key is never bad.
  static constexpr size_t max_bad_keys = 32;
  settings_fault bad_keys[max_bad_keys];
  size_t bad_key_count = 0;
  // The opt-in keys, each on its own: a bad value leaves only that key at its
  // default.
  sync_settings sync;
  bool RECONNECT = false;
  bool LIVE = false;  // 1: the engine follows saved changes of the file
};

// A key's value once it passed its rule.
struct key_value {
  const wchar_t* text = nullptr;
  int32_t integer = 0;
  double real = 0.0;
  float single = 0.0f;
};

// One key of the file and its rule. Text is taken as it stands; any other
// value counts only when it is not empty and its form takes the whole text,
// and integers must lie within low..high.
struct settings_key {
  enum form_t { text, integer, real, single };
  const wchar_t* name;
  const wchar_t* fallback;  // the text an absent key gives
  form_t form;
  bool tuning;  // one of the seventeen: a bad value fails them all
  int32_t low;
  int32_t high;
  const char* accepted;  // what the rule takes, in words, for the tools
  void (*store)(settings_record& record, const key_value& value);
};

// Every key, in the order the engine reads them: PORTNAME, the seventeen,
// then the opt-in keys.
extern const settings_key settings_keys[];
extern const size_t settings_key_count;

// Whether text passes the key's rule; value holds it converted when it does.
bool passes(const settings_key& key, const wchar_t* text, key_value& value);

// The record of one file: the component's (from its places), a named one, or
// one already chosen. Print nothing, throw only on allocation.
settings_record read_settings();
settings_record read_settings(const std::string& path);
settings_record read_settings(const settings_file& file);

// Puts the seventeen into settings and resizes the history to
// ENHANCER_MEAN_COUNT; when they failed to read, or the history cannot be
// had, leaves both untouched and names the key in fault. Prints nothing.
bool load_settings(const settings_record& record, led_settings& settings, level_history& history,
                   settings_fault* fault = nullptr);

}  // namespace fulgora
