#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/ini_file.h"
#include "platform/settings_reader.h"

namespace fulgora {

unsigned read_profile_string(const wchar_t* section, const wchar_t* key,
                             const wchar_t* fallback, wchar_t* buffer, unsigned size) {
  const char* path = std::getenv("FULGORA_INI");
  std::ifstream file(path && *path ? path : "components/foo_Fulgora.ini",
                     std::ios::binary);
  std::vector<ini_section> sections;
  if (file) {
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    sections = parse_ini(decode_ini_text(bytes));
  }
  return ini_lookup(sections, section, key, fallback, buffer, size);
}

}  // namespace fulgora
