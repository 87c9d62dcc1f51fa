// Freestanding support for the test player (see runtime.h).
#include "tests/abi_player/runtime.h"

#include "tests/abi_player/player_sdk.h"

extern "C" {
int _fltused = 0;  // MSVC's marker that floating point is used
int __cdecl _purecall() { ExitProcess(90); }

void* memcpy(void* to, const void* from, t_size n) {
  auto* d = static_cast<unsigned char*>(to);
  auto* s = static_cast<const unsigned char*>(from);
  for (t_size i = 0; i < n; ++i) d[i] = s[i];
  return to;
}
void* memset(void* to, int value, t_size n) {
  auto* d = static_cast<volatile unsigned char*>(to);  // not turned back into memset
  for (t_size i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(value);
  return to;
}
int memcmp(const void* a, const void* b, t_size n) {
  auto* x = static_cast<const unsigned char*>(a);
  auto* y = static_cast<const unsigned char*>(b);
  for (t_size i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  return 0;
}
t_size strlen(const char* text) {
  t_size n = 0;
  while (text[n]) ++n;
  return n;
}
}

namespace {
int check_count = 0, failure_count = 0;
}

void out(const char* text) {
  DWORD written;
  WriteFile(GetStdHandle(static_cast<DWORD>(-11)), text, static_cast<DWORD>(strlen(text)), &written,
            nullptr);
}

void out_uint(unsigned value) {
  char text[12];
  int n = 11;
  text[n] = 0;
  do text[--n] = static_cast<char>('0' + value % 10);
  while (value /= 10);
  out(text + n);
}

void out_hex(unsigned long long value) {
  char text[19] = "0x";
  for (int i = 0; i < 16; ++i) text[2 + i] = "0123456789abcdef"[(value >> (60 - 4 * i)) & 15];
  text[18] = 0;
  out(text);
}

bool check(bool ok, const char* what) {
  ++check_count;
  if (!ok) ++failure_count;
  out(ok ? "PASS " : "FAIL ");
  out(what);
  out("\n");
  return ok;
}
int failures() { return failure_count; }
int checks() { return check_count; }

void player_throw() {
  // An MSVC throw's parameters: magic, object, throw info (and image base on x64).
  static int object;
  const t_size args[4] = {0x19930520, reinterpret_cast<t_size>(&object), 0, 0};
  RaiseException(player_exception, 1, sizeof(void*) == 8 ? 4 : 3, args);
  ExitProcess(91);
}

void* heap_alloc(t_size bytes) {
  void* p = HeapAlloc(GetProcessHeap(), 8 /* HEAP_ZERO_MEMORY */, bytes);
  if (!p) {
    out("FAIL the test player is out of memory\n");
    ExitProcess(92);
  }
  return p;
}

bool equal(const char* a, const char* b) {
  return strlen(a) == strlen(b) && memcmp(a, b, strlen(a)) == 0;
}
bool starts_with(const char* text, const char* prefix) {
  return strlen(text) >= strlen(prefix) && memcmp(text, prefix, strlen(prefix)) == 0;
}
bool contains(const char* text, const char* part) {
  for (t_size n = strlen(part); *text; ++text)
    if (memcmp(text, part, n) == 0) return true;
  return false;
}

bool read_env(const wchar_t* name, wchar_t* buffer, DWORD capacity) {
  const DWORD n = GetEnvironmentVariableW(name, buffer, capacity);
  return n > 0 && n < capacity;
}

bool write_file(const wchar_t* path, const char* text) {
  HANDLE f = CreateFileW(path, 0x40000000 /* GENERIC_WRITE */, 0, nullptr, 2 /* CREATE_ALWAYS */,
                         0x80, nullptr);
  if (f == reinterpret_cast<HANDLE>(-1)) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f, text, static_cast<DWORD>(strlen(text)), &written, nullptr) &&
                  written == strlen(text);
  CloseHandle(f);
  return ok;
}

t_size read_file(const wchar_t* path, char* buffer, t_size capacity) {
  HANDLE f = CreateFileW(path, 0x80000000 /* GENERIC_READ */, 3 /* share read, write */, nullptr,
                         3 /* OPEN_EXISTING */, 0x80, nullptr);
  if (f == reinterpret_cast<HANDLE>(-1)) return 0;
  DWORD got = 0;
  if (!ReadFile(f, buffer, static_cast<DWORD>(capacity - 1), &got, nullptr)) got = 0;
  CloseHandle(f);
  buffer[got] = 0;
  return got;
}
