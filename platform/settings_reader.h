// Reads one value of the private settings file, the way the Windows profile
// reader does.
//
// Which file: components\foo_Fulgora.ini relative to the current directory,
// as always (Windows: that exact name is handed to GetPrivateProfileStringW;
// POSIX: components/foo_Fulgora.ini, unless FULGORA_INI names a file, which is
// then the only one). Only when that file does not exist, foo_Fulgora.ini
// beside the library, then foo_Fulgora.ini in the player's profile folder. The
// first that exists serves every key. POSIX reads with our own reader of the
// same INI dialect.
#pragma once

#include <string>

namespace fulgora {

// Buffer size, in wide characters, of one value: at most 255 are seen.
constexpr unsigned settings_value_size = 256;

// Places the value (or fallback, when the key or the file is missing) into
// buffer, cut to size - 1 characters and terminated; returns its length.
unsigned read_profile_string(const wchar_t* section, const wchar_t* key,
                             const wchar_t* fallback, wchar_t* buffer, unsigned size);

// The file the reader uses, UTF-8; empty when none of the places above holds
// one (POSIX: FULGORA_INI, when set, naming no regular file).
std::string settings_file_path();
bool settings_file_found();

// The player's word on where the library and its profile are, in UTF-8 as
// the player gives them (a "file://" prefix is dropped). Set from the player's
// calls on its main thread, before it creates DSP instances.
struct settings_places {
  std::string library_path;    // the library file; empty: the module's own name
  std::string profile_folder;  // empty: no profile folder to look in
};
void set_settings_places(const settings_places& places);

// Full path, UTF-8, of the library (or program) that holds this code.
std::string own_module_path();

}  // namespace fulgora
