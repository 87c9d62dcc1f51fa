// Reads one value of the private settings file, the way the Windows profile
// reader does. Windows: GetPrivateProfileStringW on
// "components\foo_Fulgora.ini" (relative to the current directory). POSIX:
// the file that FULGORA_INI names, else components/foo_Fulgora.ini relative to
// the current directory, read by our own reader of the same INI dialect.
#pragma once

namespace fulgora {

// Buffer size, in wide characters, of one value: at most 255 are seen.
constexpr unsigned settings_value_size = 256;

// Places the value (or fallback, when the key or the file is missing) into
// buffer, cut to size - 1 characters and terminated; returns its length.
unsigned read_profile_string(const wchar_t* section, const wchar_t* key,
                             const wchar_t* fallback, wchar_t* buffer, unsigned size);

}  // namespace fulgora
