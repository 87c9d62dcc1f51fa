// 128-bit class and DSP identifiers, compared as four 32-bit words.
#pragma once

#include <cstdint>
#include <cstring>

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b) {
  uint32_t wa[4], wb[4];
  std::memcpy(wa, &a, sizeof wa);
  std::memcpy(wb, &b, sizeof wb);
  return wa[0] == wb[0] && wa[1] == wb[1] && wa[2] == wb[2] && wa[3] == wb[3];
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
