// Everything an engine takes from its settings file, read in one go while it
// is being built and handed to it as one record; nothing below goes back to
// the file. The rule of every key stands beside it in settings_record.cpp.
//
// Threads: read on the creating thread; the record is a plain value.
#pragma once

#include <string>

#include "analysis/level_history.h"
#include "engine/led_settings.h"
#include "engine/sync_settings.h"
#include "platform/settings_reader.h"

namespace fulgora {

// The key that failed the seventeen, and whether its value was empty
// (otherwise malformed, or a mean count whose history cannot be had).
struct settings_fault {
  const wchar_t* key = nullptr;
  bool empty = false;
};

struct settings_record {
  bool file_found = false;  // false: no file in any place (not merely no PORTNAME)
  wchar_t PORTNAME[settings_value_size] = {};  // empty: the engine never starts
  // The seventeen, all or nothing: when tuning_read, the file's values (or its
  // default strings' for absent keys); otherwise the in-memory defaults, and
  // fault names the first key that failed.
  led_settings tuning;
  bool tuning_read = false;
  settings_fault fault;
  // The opt-in keys, each on its own: a bad value leaves only that key at its
  // default.
  sync_settings sync;
  bool RECONNECT = false;
};

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
