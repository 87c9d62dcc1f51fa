// Our reader of the Windows profile (INI) dialect, for systems without
// GetPrivateProfileStringW. It follows what the Windows reader does:
// section and key names compared without regard to ASCII case, white space
// around names and values trimmed, one pair of matching quotes around a value
// removed, only the first section of a name and the first key of a name seen,
// UTF-8 (with or without BOM) or UTF-16 with BOM; other bytes as Windows-1252.
#pragma once

#include <string>
#include <vector>

namespace fulgora {

struct ini_key {
  std::wstring name;
  std::wstring value;
  bool has_value = false;  // a line without '=' is a key with no value
};

struct ini_section {
  std::wstring name;
  std::vector<ini_key> keys;
};

// Decodes a file's bytes to wide text.
std::wstring decode_ini_text(const std::string& bytes);

std::vector<ini_section> parse_ini(const std::wstring& text);

// Whether the first section of that name has a line in it, as
// GetPrivateProfileSectionW answers.
bool ini_holds_section(const std::vector<ini_section>& sections, const wchar_t* section);

// GetPrivateProfileStringW's answer for one key; returns the length placed.
unsigned ini_lookup(const std::vector<ini_section>& sections, const wchar_t* section,
                    const wchar_t* key, const wchar_t* fallback, wchar_t* buffer, unsigned size);

}  // namespace fulgora
