#include <windows.h>

#include <string>

#include "platform/settings_places.h"
#include "platform/settings_reader.h"
#include "platform/utf8.h"

namespace fulgora {
namespace {

// A relative name with a folder in it: the profile reader resolves it against
// the current directory (a bare name would go to the Windows folder).
constexpr wchar_t relative_name[] = L"components\\foo_Fulgora.ini";

bool is_file(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The name handed to the profile reader: the relative one whenever that file
// is there, and when no file is anywhere (so the fallbacks come as before).
std::wstring chosen_name() {
  if (is_file(relative_name)) return relative_name;
  for (const std::string& candidate : settings_candidates('\\')) {
    const std::wstring path = wide_of(candidate);
    if (is_file(path.c_str())) return path;
  }
  return relative_name;
}

}  // namespace

settings_file settings_file::from_places() {
  settings_file file;
  file.profile_name_ = chosen_name();
  if (is_file(file.profile_name_.c_str())) file.path_ = utf8_of(file.profile_name_);
  return file;
}

settings_file settings_file::at(const std::string& path) {
  settings_file file;
  const std::wstring name = wide_of(path);
  // Resolved here: the profile reader would look for a bare name in the
  // Windows folder.
  const DWORD n = name.empty() ? 0 : GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (n == 0) return file;
  file.profile_name_.assign(n, L'\0');
  const DWORD length = GetFullPathNameW(name.c_str(), n, &file.profile_name_[0], nullptr);
  file.profile_name_.resize(length < n ? length : 0);
  if (is_file(file.profile_name_.c_str())) file.path_ = path;
  return file;
}

unsigned settings_file::read(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                             wchar_t* buffer, unsigned size) const {
  if (profile_name_.empty()) {  // no name to give the reader: the fallback, as it would
    unsigned length = 0;
    for (; fallback[length] != 0 && length + 1 < size; ++length) buffer[length] = fallback[length];
    if (size > 0) buffer[length] = 0;
    return length;
  }
  return GetPrivateProfileStringW(section, key, fallback, buffer, size, profile_name_.c_str());
}

bool settings_file::holds_section(const wchar_t* section) const {
  if (profile_name_.empty()) return false;
  // The section's key=value lines; none for a file the reader cannot open.
  wchar_t buffer[64];
  return GetPrivateProfileSectionW(section, buffer, 64, profile_name_.c_str()) > 0;
}

std::string own_module_path() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&own_module_path), &module))
    return "";
  // GetModuleFileNameW cuts a long path silently: grow until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return "";
    if (n < path.size()) {
      path.resize(n);
      return utf8_of(path);
    }
    if (path.size() >= 32768) return "";
    path.resize(path.size() * 2);
  }
}

}  // namespace fulgora
