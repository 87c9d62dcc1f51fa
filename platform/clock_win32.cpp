#include <windows.h>

#include "platform/clock.h"

namespace fulgora {
namespace {

// The performance counter, not GetTickCount64: that one moves in steps of the
// system's timer tick (about 15.6 ms).
long long counter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);  // never fails since Windows XP
  return now.QuadPart;
}

long long frequency() {
  static const long long f = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
  }();
  return f;
}

}  // namespace

double monotonic_seconds() {
  return static_cast<double>(counter()) / static_cast<double>(frequency());
}

unsigned long long monotonic_ms() {
  const long long c = counter(), f = frequency();
  // In two parts, so that the product cannot overflow after long uptimes.
  return static_cast<unsigned long long>(c / f * 1000 + c % f * 1000 / f);
}

void sleep_ms(unsigned ms) { Sleep(ms); }

}  // namespace fulgora
