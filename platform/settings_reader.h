// The private settings file, chosen and read once, then asked key by key the
// way the Windows profile reader answers.
//
// Which file (from_places): components\foo_Fulgora.ini relative to the
// current directory, as always (Windows: that exact name is handed to
// GetPrivateProfileStringW; POSIX: components/foo_Fulgora.ini, unless
// FULGORA_INI names a file, which is then the only one). Only when that file
// does not exist, foo_Fulgora.ini beside the library, then foo_Fulgora.ini in
// the player's profile folder. The first that exists serves every key.
// A tool or a test names its file instead (at).
//
// Windows asks GetPrivateProfileStringW for each key against the chosen
// file; POSIX parses the file once with our own reader of the same dialect.
#pragma once

#include <string>
#include <vector>

#include "platform/ini_file.h"

namespace fulgora {

// Buffer size, in wide characters, of one value: at most 255 are seen.
constexpr unsigned settings_value_size = 256;

class settings_file {
 public:
  // The component's file, from the places above.
  static settings_file from_places();
  // The file at path (UTF-8); one that is no regular file counts as absent.
  static settings_file at(const std::string& path);

  // Whether a regular file was there when it was chosen, and its path (UTF-8;
  // empty when none was).
  bool found() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // Whether the file could be read and holds the section with a key in it. A
  // file found but not readable (no permission, or in the middle of a save)
  // answers every key with its fallback, as one without the section does.
  bool holds_section(const wchar_t* section) const;

  // Places the value (or fallback, when the key or the file is missing) into
  // buffer, cut to size - 1 characters and terminated; returns its length.
  unsigned read(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                wchar_t* buffer, unsigned size) const;

 private:
  std::string path_;
  std::wstring profile_name_;          // Windows: the name the profile reader is given
  std::vector<ini_section> sections_;  // POSIX: the file's contents
};

// The player's word on where the library and its profile are, in UTF-8 as
// the player gives them (a "file://" prefix is dropped). Set from the player's
// calls on its main thread, before it creates DSP instances.
struct settings_places {
  std::string library_path;    // the library file; empty: the module's own name
  std::string profile_folder;  // empty: no profile folder to look in
};
void set_settings_places(const settings_places& places);
// One of the two, the other kept as it was.
void set_settings_library_path(const std::string& path);
void set_settings_profile_folder(const std::string& folder);

// The file FULGORA_INI names (its value as it stands), empty when it is unset
// or empty: the one place the variable is read.
std::string settings_file_from_environment();

// Full path, UTF-8, of the library (or program) that holds this code.
std::string own_module_path();

}  // namespace fulgora
