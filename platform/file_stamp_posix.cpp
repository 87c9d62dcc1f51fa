#include <sys/stat.h>

#include "platform/file_stamp.h"

namespace fulgora {

bool stamp_of(const std::string& path, file_stamp& out) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // In nanoseconds: two saves within one second still differ.
  out.changed = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                static_cast<uint64_t>(st.st_mtim.tv_nsec);
  out.size = static_cast<uint64_t>(st.st_size);
  out.identity = static_cast<uint64_t>(st.st_ino) ^ (static_cast<uint64_t>(st.st_dev) << 32);
  return true;
}

}  // namespace fulgora
