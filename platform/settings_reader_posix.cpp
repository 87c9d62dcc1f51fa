#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/ini_file.h"
#include "platform/settings_places.h"
#include "platform/settings_reader.h"

namespace fulgora {
namespace {

bool is_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// FULGORA_INI, when set, names the only file; otherwise the first that exists.
std::string settings_file() {
  const char* named = std::getenv("FULGORA_INI");
  if (named && *named) return named;
  const std::string relative = "components/foo_Fulgora.ini";
  if (is_file(relative)) return relative;
  for (const std::string& candidate : settings_candidates('/'))
    if (is_file(candidate)) return candidate;
  return relative;
}

}  // namespace

unsigned read_profile_string(const wchar_t* section, const wchar_t* key,
                             const wchar_t* fallback, wchar_t* buffer, unsigned size) {
  std::ifstream file(settings_file(), std::ios::binary);
  std::vector<ini_section> sections;
  if (file) {
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    sections = parse_ini(decode_ini_text(bytes));
  }
  return ini_lookup(sections, section, key, fallback, buffer, size);
}

std::string own_module_path() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&own_module_path), &info) == 0 || !info.dli_fname)
    return "";
  return info.dli_fname;
}

}  // namespace fulgora
