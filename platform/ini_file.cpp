#include "platform/ini_file.h"

#include <cstdint>

#include "platform/utf8.h"

namespace fulgora {
namespace {

// The profile reader's white space: ASCII spaces and ^Z.
bool is_space(wchar_t c) { return c == L' ' || (c >= 0x09 && c <= 0x0d) || c == 0x1a; }

wchar_t fold(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - 32 : c; }

bool same_name(const std::wstring& a, const wchar_t* b, size_t b_length) {
  if (a.size() != b_length) return false;
  for (size_t i = 0; i < b_length; ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// [begin, end) of s with the profile reader's white space trimmed.
void trim(const wchar_t*& begin, const wchar_t*& end) {
  while (begin < end && is_space(*begin)) ++begin;
  while (end > begin && is_space(end[-1])) --end;
}

std::wstring decode_utf16(const std::string& bytes, bool big_endian) {
  std::wstring out;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const uint32_t unit = big_endian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]);
    if (sizeof(wchar_t) == 4 && unit >= 0xd800 && unit <= 0xdbff && i + 3 < bytes.size()) {
      const uint32_t low = big_endian ? (p[i + 2] << 8 | p[i + 3]) : (p[i + 3] << 8 | p[i + 2]);
      if (low >= 0xdc00 && low <= 0xdfff) {
        out += static_cast<wchar_t>(0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00));
        i += 2;
        continue;
      }
    }
    out += static_cast<wchar_t>(unit);
  }
  return out;
}

// Windows-1252's 0x80..0x9f; the rest of the high half is Latin-1.
const uint16_t cp1252_high[32] = {0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                                  0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008d, 0x017d, 0x008f,
                                  0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                  0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

}  // namespace

std::wstring decode_ini_text(const std::string& bytes) {
  std::wstring out;
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xef\xbb\xbf") == 0) {
    if (decode_utf8(bytes.data() + 3, bytes.size() - 3, out)) return out;
  } else if (bytes.size() >= 2 && bytes.compare(0, 2, "\xff\xfe") == 0) {
    return decode_utf16(bytes, false);
  } else if (bytes.size() >= 2 && bytes.compare(0, 2, "\xfe\xff") == 0) {
    return decode_utf16(bytes, true);
  } else if (decode_utf8(bytes.data(), bytes.size(), out)) {
    return out;
  }
  out.clear();
  for (unsigned char c : bytes)
    out += static_cast<wchar_t>(c >= 0x80 && c < 0xa0 ? cp1252_high[c - 0x80] : c);
  return out;
}

std::vector<ini_section> parse_ini(const std::wstring& text) {
  std::vector<ini_section> sections(1);  // keys before any section header
  const wchar_t* next = text.data();
  const wchar_t* const end = text.data() + text.size();
  while (next < end) {
    const wchar_t* line = next;
    const wchar_t* stop = line;
    while (stop < end && *stop != L'\n') ++stop;
    if (stop == end) {  // no LF left: a lone CR ends the line
      stop = line;
      while (stop < end && *stop != L'\r') ++stop;
    }
    next = stop < end ? stop + 1 : end;
    const wchar_t* line_end = stop;
    trim(line, line_end);
    if (line >= line_end) continue;
    if (*line == L'[') {
      const wchar_t* close = line_end;
      while (close > line && close[-1] != L']') --close;
      if (close > line) {  // the last ']' on the line closes the name
        sections.push_back({std::wstring(line + 1, close - 1), {}});
        continue;
      }
    }
    ini_key key;
    const wchar_t* name_end = line_end;
    const wchar_t* equals = line;
    while (equals < line_end && *equals != L'=') ++equals;
    if (equals < line_end) {
      name_end = equals;
      while (name_end > line && is_space(name_end[-1])) --name_end;
      const wchar_t* value = equals + 1;
      while (value < line_end && is_space(*value)) ++value;
      key.value.assign(value, line_end);
      key.has_value = true;
    }
    key.name.assign(line, name_end);
    sections.back().keys.push_back(std::move(key));
  }
  return sections;
}

bool ini_holds_section(const std::vector<ini_section>& sections, const wchar_t* section) {
  const wchar_t* section_end = section;
  while (*section_end) ++section_end;
  trim(section, section_end);
  for (size_t s = 1; s < sections.size(); ++s)
    if (same_name(sections[s].name, section, section_end - section))
      return !sections[s].keys.empty();
  return false;
}

unsigned ini_lookup(const std::vector<ini_section>& sections, const wchar_t* section,
                    const wchar_t* key, const wchar_t* fallback, wchar_t* buffer, unsigned size) {
  if (size == 0) return 0;
  const wchar_t* section_end = section;
  while (*section_end) ++section_end;
  trim(section, section_end);
  const wchar_t* key_end = key;
  while (*key_end) ++key_end;
  trim(key, key_end);

  const ini_key* found = nullptr;
  bool section_found = false;
  for (size_t s = 1; s < sections.size() && !section_found; ++s) {
    if (!same_name(sections[s].name, section, section_end - section)) continue;
    section_found = true;  // only the first section of a name is searched
    for (const ini_key& k : sections[s].keys)
      if (same_name(k.name, key, key_end - key)) {
        found = &k;
        break;
      }
  }

  // A key without '=' counts as missing.
  std::wstring value;
  if (found && found->has_value) {
    value = found->value;
  } else {
    value = fallback ? fallback : L"";
    while (value.size() > 1 && value.back() == L' ') value.pop_back();
  }
  // A value in matching quotes loses them; when the value is cut, the closing
  // quote is cut with it (as the Windows reader does).
  size_t from = 0;
  bool quoted = false;
  if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0]) {
    quoted = true;
    from = 1;
  }
  const size_t available = value.size() - from;
  size_t length = available < size - 1 ? available : size - 1;
  for (size_t i = 0; i < length; ++i) buffer[i] = value[from + i];
  buffer[length] = 0;
  if (quoted && size >= available && length > 0) buffer[--length] = 0;
  return static_cast<unsigned>(length);
}

}  // namespace fulgora
