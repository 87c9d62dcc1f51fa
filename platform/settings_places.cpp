#include "platform/settings_places.h"

#include <cstdlib>

#include "platform/settings_reader.h"

namespace fulgora {
namespace {

settings_places g_places;

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The player hands its profile folder over as a URL of its own file system.
std::string local_path(const std::string& path) {
  static const std::string scheme = "file://";
  return path.compare(0, scheme.size(), scheme) == 0 ? path.substr(scheme.size()) : path;
}

std::string without_trailing_separators(std::string folder) {
  // A root ("/" or "C:\") keeps its separator.
  while (folder.size() > 1 && is_separator(folder.back()) &&
         !(folder.size() == 3 && folder[1] == ':'))
    folder.pop_back();
  return folder;
}

std::string folder_of(const std::string& file) {
  const size_t slash = file.find_last_of("/\\");
  if (slash == std::string::npos) return "";
  return without_trailing_separators(file.substr(0, slash + 1));
}

}  // namespace

void set_settings_places(const settings_places& places) {
  set_settings_library_path(places.library_path);
  set_settings_profile_folder(places.profile_folder);
}

void set_settings_library_path(const std::string& path) {
  g_places.library_path = local_path(path);
}

void set_settings_profile_folder(const std::string& folder) {
  g_places.profile_folder = local_path(folder);
}

std::string settings_file_from_environment() {
  const char* named = std::getenv("FULGORA_INI");
  return named ? named : "";
}

std::vector<std::string> settings_candidates(char separator) {
  const std::string folders[2] = {
      folder_of(g_places.library_path.empty() ? own_module_path() : g_places.library_path),
      without_trailing_separators(g_places.profile_folder)};
  std::vector<std::string> files;
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    files.push_back(is_separator(folder.back()) ? folder + "foo_Fulgora.ini"
                                                : folder + separator + "foo_Fulgora.ini");
  }
  return files;
}

}  // namespace fulgora
