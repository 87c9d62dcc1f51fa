#include "engine/sync_settings.h"

#include "engine/led_settings.h"
#include "platform/settings_reader.h"

namespace fulgora {
namespace {

// The key's integer when it is present, well formed and within the range.
bool read_bounded(const wchar_t* key, int32_t low, int32_t high, int32_t& out) {
  wchar_t buffer[settings_value_size];
  int32_t value = 0;
  if (read_profile_string(L"SETTING", key, L"", buffer, settings_value_size) == 0) return false;
  if (!parse_int(buffer, value) || value < low || value > high) return false;
  out = value;
  return true;
}

}  // namespace

sync_settings load_sync_settings() {
  sync_settings s;
  int32_t value = 0;
  if (read_bounded(L"SYNC", 0, 1, value)) s.SYNC = value == 1;
  if (read_bounded(L"SYNC_OFFSET_MS", -10000, 10000, value)) s.SYNC_OFFSET_MS = value;
  if (read_bounded(L"SYNC_RATE", 0, INT32_MAX, value))
    s.SYNC_RATE = value > max_sync_rate ? max_sync_rate : value;
  return s;
}

}  // namespace fulgora
