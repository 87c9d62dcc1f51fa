#include "tools/play/settings_text.h"

#include <cctype>
#include <cstddef>
#include <vector>

namespace fulgora_play {
namespace {

std::string upper_trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  std::string t = s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

// As the component's reader sees a line: "[name]" after trimming, the name
// running to the last ']' on the line, compared in upper case.
bool is_section(const std::string& line) {
  const std::string t = upper_trimmed(line);
  return !t.empty() && t[0] == '[' && t.find(']') != std::string::npos;
}
std::string section_name(const std::string& line) {
  if (!is_section(line)) return "";
  const std::string t = upper_trimmed(line);
  return t.substr(1, t.rfind(']') - 1);
}

bool is_port_key(const std::string& line) {
  const size_t eq = line.find('=');
  return eq != std::string::npos && upper_trimmed(line.substr(0, eq)) == "PORTNAME";
}

}  // namespace

bool with_port(std::string& ini, const std::string& port) {
  if (ini.empty()) {
    ini = "[SETTING]\r\nPORTNAME=" + port + "\r\n";
    return true;
  }
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = ini.find('\n', start);
    lines.push_back(ini.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size() && header == lines.size(); ++i)
    if (section_name(lines[i]) == "SETTING") header = i;
  if (header == lines.size()) return false;
  const std::string entry = "PORTNAME=" + port + "\r";
  size_t i = header + 1;
  while (i < lines.size() && !is_section(lines[i]) && !is_port_key(lines[i])) ++i;
  if (i < lines.size() && is_port_key(lines[i]))
    lines[i] = entry;
  else
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(header) + 1, entry);
  std::string out;
  for (size_t k = 0; k < lines.size(); ++k) out += lines[k] + (k + 1 < lines.size() ? "\n" : "");
  ini = out;
  return true;
}

}  // namespace fulgora_play
