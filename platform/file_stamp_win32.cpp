#include <windows.h>

#include "platform/file_stamp.h"
#include "platform/utf8.h"

namespace fulgora {

bool stamp_of(const std::string& path, file_stamp& out) {
  const std::wstring name = wide_of(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  // Creation time stands for identity: a save by rename makes a new file.
  out.changed = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime;
  out.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  out.identity = (static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32) |
                 data.ftCreationTime.dwLowDateTime;
  return true;
}

}  // namespace fulgora
