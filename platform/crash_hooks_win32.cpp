#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include "platform/crash_hooks.h"

namespace fulgora {
namespace {

void on_signal(int number) {
  const ULONG_PTR argument = static_cast<ULONG_PTR>(number);
  RaiseException(0x6F8E1DC8, EXCEPTION_NONCONTINUABLE, 1, &argument);
}

void on_pure_call() { RaiseException(0xF6538887, EXCEPTION_NONCONTINUABLE, 0, nullptr); }

void on_invalid_parameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {
  RaiseException(0xD142B808, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

}  // namespace

// The player's crash reporter recognises these structured exceptions.
void install_crash_hooks() {
  for (int number : {2, 15, 21, 22}) std::signal(number, on_signal);  // INT TERM BREAK ABRT
  // msvcrt.dll has no _set_abort_behavior on older systems: take it if there.
  typedef unsigned(__cdecl * set_abort_behavior_fn)(unsigned, unsigned);
  if (HMODULE crt = GetModuleHandleW(L"msvcrt.dll"))
    if (auto set_abort = reinterpret_cast<set_abort_behavior_fn>(
            reinterpret_cast<void*>(GetProcAddress(crt, "_set_abort_behavior"))))
      set_abort(0, ~0u);
  _set_purecall_handler(on_pure_call);
  _set_invalid_parameter_handler(on_invalid_parameter);
}

}  // namespace fulgora
