#include <windows.h>

#include "platform/settings_reader.h"

namespace fulgora {

unsigned read_profile_string(const wchar_t* section, const wchar_t* key,
                             const wchar_t* fallback, wchar_t* buffer, unsigned size) {
  return GetPrivateProfileStringW(section, key, fallback, buffer, size,
                                  L"components\\foo_Fulgora.ini");
}

}  // namespace fulgora
