#include "engine/live_settings.h"

#include <cwchar>

namespace fulgora {
namespace {

// The opt-in keys a change applies besides the seventeen; a malformed one
// keeps the change from being applied (at construction it is only ignored,
// but here the user is watching for the effect of the edit).
bool follows_live(const settings_key& key) {
  return std::wcscmp(key.name, L"SYNC_OFFSET_MS") == 0 ||
         std::wcscmp(key.name, L"SYNC_RATE") == 0 || std::wcscmp(key.name, L"PAUSE_FADE_MS") == 0;
}

}  // namespace

live_settings::live_settings(const std::string& path) : path_(path) { stamp_of(path_, applied_); }

// Every key's text as the reader gives it (absent keys as a mark of their
// own, so that deleting a key is a change).
std::vector<std::wstring> live_settings::texts(const settings_file& file) {
  std::vector<std::wstring> out;
  wchar_t buffer[settings_value_size];
  for (size_t i = 0; i < settings_key_count; ++i) {
    file.read(L"SETTING", settings_keys[i].name, L"\x1f", buffer, settings_value_size);
    out.emplace_back(buffer);
  }
  return out;
}

live_settings::outcome live_settings::refuse() {
  pending_ = false;
  unclean_ = true;
  if (said_unclean_) return nothing;
  said_unclean_ = true;
  return unreadable;
}

live_settings::outcome live_settings::poll(double now, settings_record& record,
                                           settings_fault& fault) {
  if (now < next_look_s_) return nothing;
  next_look_s_ = now + look_s;
  file_stamp stamp;
  if (!stamp_of(path_, stamp)) {
    pending_ = false;  // gone for a moment (a save by rename): look again
    return nothing;
  }
  if (!pending_ && !unclean_ && stamp == applied_) return nothing;
  if (!pending_ || stamp != pending_stamp_) {
    const settings_file file = settings_file::at(path_);
    if (!file.holds_section(L"SETTING")) return refuse();
    pending_ = true;
    pending_stamp_ = stamp;
    pending_texts_ = texts(file);
    next_look_s_ = now + settle_s;
    return nothing;
  }
  // One file for the check and the record (on Windows each key is read
  // from the disk, so the texts are asked again after the record).
  const settings_file file = settings_file::at(path_);
  if (!file.holds_section(L"SETTING")) return refuse();
  std::vector<std::wstring> again = texts(file);
  if (again == pending_texts_) {
    record = read_settings(file);
    again = texts(file);
  }
  if (again != pending_texts_) {
    pending_texts_.swap(again);  // still being written
    next_look_s_ = now + settle_s;
    return nothing;
  }
  pending_ = unclean_ = said_unclean_ = false;
  applied_ = stamp;
  fault = record.tuning_read ? settings_fault{} : record.fault;
  if (fault.key) return changed;
  wchar_t buffer[settings_value_size];
  for (size_t i = 0; i < settings_key_count; ++i) {
    const settings_key& key = settings_keys[i];
    if (!follows_live(key)) continue;
    key_value value;
    if (file.read(L"SETTING", key.name, key.fallback, buffer, settings_value_size) > 0 &&
        !passes(key, buffer, value)) {
      fault = {key.name, false};
      break;
    }
  }
  return changed;
}

}  // namespace fulgora
