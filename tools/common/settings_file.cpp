#include "tools/common/settings_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <iterator>

#include "engine/settings_record.h"
#include "platform/ini_file.h"
#include "platform/settings_reader.h"
#include "platform/utf8.h"

namespace fulgora_tools {
namespace {

const char* const defaults_used =
    ": the component uses its built-in defaults for all seventeen values";

bool is_folder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool is_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string narrow(const std::wstring& w) { return fulgora::utf8_of(w); }

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Edits (insert, delete, replace, swap of neighbours) between a and b.
size_t distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

std::string name_of(const fulgora::settings_key& k) { return narrow(k.name); }

const fulgora::settings_key* begin_keys() { return fulgora::settings_keys; }
const fulgora::settings_key* end_keys() {
  return fulgora::settings_keys + fulgora::settings_key_count;
}

std::string read_bytes(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ok = static_cast<bool>(in) || in.eof();
  return bytes;
}

const fulgora::ini_section* setting_section(const std::vector<fulgora::ini_section>& sections) {
  for (size_t s = 1; s < sections.size(); ++s)
    if (upper(narrow(sections[s].name)) == "SETTING") return &sections[s];
  return nullptr;
}

}  // namespace

bool settings_for_board(const std::string& path, const std::string& port, std::string& text,
                        std::string& error) {
  text = "[SETTING]\r\nPORTNAME=\"" + port + "\"\r\n";
  if (path.empty()) return true;
  bool ok = false;
  const std::string bytes = read_bytes(path, ok);
  if (!ok) return error = path + ": cannot read the settings file", false;
  if (!setting_section(fulgora::parse_ini(fulgora::decode_ini_text(bytes)))) {
    text.clear();  // the component finds no key in it, as in the user's file
    return true;
  }
  const fulgora::settings_file file = fulgora::settings_file::at(path);
  const wchar_t absent[] = {1, 0};
  wchar_t value[fulgora::settings_value_size];
  bool ascii = true;
  for (const fulgora::settings_key* k = begin_keys(); k != end_keys(); ++k) {
    if (name_of(*k) == "PORTNAME") continue;
    file.read(L"SETTING", k->name, absent, value, fulgora::settings_value_size);
    if (value[0] == absent[0] && value[1] == 0) continue;
    // Quoted, so that the reader takes the value back as it stands.
    const std::string v = fulgora::utf8_of(value, std::wcslen(value));
    ascii = ascii && std::all_of(v.begin(), v.end(), [](char c) { return (c & 0x80) == 0; });
    text += name_of(*k) + "=\"" + v + "\"\r\n";
  }
  if (!ascii) text = "\xEF\xBB\xBF" + text;
  return true;
}

bool choose_settings(const std::string& explicit_path, const std::string& component_path,
                     std::string& path, std::string& error) {
  const std::string env = fulgora::settings_file_from_environment();
  const bool from_env = explicit_path.empty() && !env.empty();
  const std::string named = explicit_path.empty() ? env : explicit_path;
  if (!named.empty()) {
    const std::string what = from_env ? "FULGORA_INI=" + named : named;
    if (is_folder(named)) {
      error = what + ": a folder, not a settings file";
      return false;
    }
    if (!is_file(named) || !std::ifstream(named)) {
      error = what + ": no such settings file (or it cannot be read)";
      return false;
    }
    path = named;
    return true;
  }
  fulgora::settings_places places;
  places.library_path = component_path;
  fulgora::set_settings_places(places);
  path = fulgora::settings_file::from_places().path();
  return true;
}

std::vector<std::string> check_settings(const std::string& path) {
  bool ok = false;
  const std::vector<fulgora::ini_section> sections =
      fulgora::parse_ini(fulgora::decode_ini_text(read_bytes(path, ok)));
  std::vector<std::string> found;
  const fulgora::ini_section* setting = setting_section(sections);
  if (!setting) {
    std::string named;
    for (size_t s = 1; s < sections.size(); ++s) named += " [" + narrow(sections[s].name) + "]";
    found.push_back("no [SETTING] section (the file has:" + (named.empty() ? " none" : named) +
                    "): the component reads no key, so it drives no board");
    return found;
  }
  wchar_t buffer[fulgora::settings_value_size];
  for (const fulgora::settings_key* k = begin_keys(); k != end_keys(); ++k) {
    const std::string name = name_of(*k);
    const auto key = std::find_if(setting->keys.begin(), setting->keys.end(),
                                  [&](const auto& x) { return upper(narrow(x.name)) == name; });
    if (key == setting->keys.end() || !key->has_value) continue;
    fulgora::ini_lookup(sections, L"SETTING", k->name, L"", buffer, fulgora::settings_value_size);
    fulgora::key_value value;
    if (fulgora::passes(*k, buffer, value)) continue;
    std::string line = name + "=" + narrow(key->value) + ": " +
                       (buffer[0] == 0 ? "empty" : std::string("malformed (") + k->accepted + ")");
    line += k->tuning ? defaults_used : ": ignored, as if the key were missing";
    found.push_back(line);
  }
  for (const auto& x : setting->keys) {
    const std::string name = upper(narrow(x.name));
    if (name.empty() || name[0] == ';') continue;  // a comment
    if (std::any_of(begin_keys(), end_keys(),
                    [&](const fulgora::settings_key& k) { return name == name_of(k); }))
      continue;
    std::string nearest;
    size_t best = 3;  // at most two edits away
    for (const fulgora::settings_key* k = begin_keys(); k != end_keys(); ++k) {
      const size_t d = distance(name, name_of(*k));
      const std::string prefix = name_of(*k) + " ";  // "LOW_FREQ 300": no '='
      if (d < best || name.compare(0, prefix.size(), prefix) == 0) best = d, nearest = name_of(*k);
    }
    found.push_back(narrow(x.name) + ": unknown key, ignored" +
                    (nearest.empty() ? "" : " (did you mean " + nearest + "?)"));
  }
  return found;
}

bool fails_the_load(const std::string& finding) {
  return finding.find(defaults_used) != std::string::npos;
}

}  // namespace fulgora_tools
