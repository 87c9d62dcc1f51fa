#include <windows.h>

#include <new>

#include "platform/timed_wait.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// From winmm (timeapi.h); declared here so no more of mmsystem comes in.
extern "C" __declspec(dllimport) UINT WINAPI timeBeginPeriod(UINT period);
extern "C" __declspec(dllimport) UINT WINAPI timeEndPeriod(UINT period);

namespace fulgora {
namespace {

struct win_wait {
  HANDLE woken = nullptr;  // auto-reset: one wake ends one wait
  HANDLE timer = nullptr;  // high-resolution, or null
  bool period_raised = false;
};

win_wait* as_wait(timed_wait_handle w) { return static_cast<win_wait*>(w); }

}  // namespace

timed_wait_handle create_timed_wait() {
  auto* w = new (std::nothrow) win_wait;
  if (!w) return nullptr;
  w->woken = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!w->woken) {
    delete w;
    return nullptr;
  }
  // Windows 10 1803 and later; older systems refuse the flag.
  w->timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
  // Without it a wait lasts a whole timer tick (about 15.6 ms) unless the
  // process asks for 1 ms; since Windows 10 2004 that request is the
  // process's own and ends with timeEndPeriod.
  if (!w->timer) w->period_raised = timeBeginPeriod(1) == 0;  // TIMERR_NOERROR
  return w;
}

void wake(timed_wait_handle w) { SetEvent(as_wait(w)->woken); }

void wait_for(timed_wait_handle h, double seconds) {
  win_wait* w = as_wait(h);
  if (seconds > 60.0) seconds = 60.0;
  if (seconds < 0.0) seconds = 0.0;
  if (w->timer) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(seconds * 1e7);  // relative, 100 ns units
    if (SetWaitableTimer(w->timer, &due, 0, nullptr, nullptr, FALSE)) {
      const HANDLE both[2] = {w->woken, w->timer};
      WaitForMultipleObjects(2, both, FALSE, INFINITE);
      CancelWaitableTimer(w->timer);
      return;
    }
  }
  WaitForSingleObject(w->woken, static_cast<DWORD>(seconds * 1000.0 + 0.5));
}

void close_timed_wait(timed_wait_handle h) {
  win_wait* w = as_wait(h);
  if (w->timer) CloseHandle(w->timer);
  if (w->period_raised) timeEndPeriod(1);
  CloseHandle(w->woken);
  delete w;
}

}  // namespace fulgora
