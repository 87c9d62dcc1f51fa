#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/ini_file.h"
#include "platform/settings_places.h"
#include "platform/settings_reader.h"

namespace fulgora {
namespace {

// Far beyond any settings file; /dev/zero or a huge file must not grow memory.
constexpr size_t max_settings_bytes = 1 << 20;

bool is_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// FULGORA_INI, when set, names the only file; otherwise the first that exists.
std::string chosen_path() {
  const std::string named = settings_file_from_environment();
  if (!named.empty()) return named;
  const std::string relative = "components/foo_Fulgora.ini";
  if (is_file(relative)) return relative;
  for (const std::string& candidate : settings_candidates('/'))
    if (is_file(candidate)) return candidate;
  return relative;
}

// The file's bytes; false when it is not a regular file we may read. Opened
// without blocking, so a FIFO cannot hold the creation of an instance.
bool read_settings_file(const std::string& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char piece[4096];
  while (ok && bytes.size() < max_settings_bytes) {
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    bytes.append(piece, static_cast<size_t>(n));
  }
  ::close(fd);
  if (bytes.size() > max_settings_bytes) bytes.resize(max_settings_bytes);
  return ok;
}

}  // namespace

settings_file settings_file::from_places() { return at(chosen_path()); }

settings_file settings_file::at(const std::string& path) {
  settings_file file;
  std::string bytes;
  if (read_settings_file(path, bytes)) file.sections_ = parse_ini(decode_ini_text(bytes));
  if (is_file(path)) file.path_ = path;
  return file;
}

unsigned settings_file::read(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                             wchar_t* buffer, unsigned size) const {
  return ini_lookup(sections_, section, key, fallback, buffer, size);
}

bool settings_file::holds_section(const wchar_t* section) const {
  return ini_holds_section(sections_, section);  // none when the read failed
}

std::string own_module_path() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&own_module_path), &info) == 0 || !info.dli_fname) return "";
  return info.dli_fname;
}

}  // namespace fulgora
