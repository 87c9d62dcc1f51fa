// The test player's own tiny runtime: no C or C++ library, only kernel32, as
// in a program built by the player's compiler with nothing of ours linked in.
#pragma once

#include "tests/abi_player/player_sdk.h"  // t_size

typedef unsigned long DWORD;
typedef void* HANDLE;

extern "C" {
[[noreturn]] __declspec(dllimport) void __stdcall ExitProcess(unsigned code);
__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE, const void*, DWORD, DWORD*, void*);
__declspec(dllimport) int __stdcall ReadFile(HANDLE, void*, DWORD, DWORD*, void*);
__declspec(dllimport) HANDLE
    __stdcall CreateFileW(const wchar_t*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE);
__declspec(dllimport) int __stdcall CloseHandle(HANDLE);
__declspec(dllimport) int __stdcall CreateDirectoryW(const wchar_t*, void*);
__declspec(dllimport) HANDLE __stdcall LoadLibraryW(const wchar_t*);
__declspec(dllimport) void* __stdcall GetProcAddress(HANDLE, const char*);
__declspec(dllimport) int __stdcall FreeLibrary(HANDLE);
__declspec(dllimport) void __stdcall RaiseException(DWORD, DWORD, DWORD, const void*);
__declspec(dllimport) void __stdcall Sleep(DWORD ms);
__declspec(dllimport) DWORD __stdcall GetTickCount();
__declspec(dllimport) DWORD __stdcall GetEnvironmentVariableW(const wchar_t*, wchar_t*, DWORD);
__declspec(dllimport) HANDLE __stdcall GetProcessHeap();
__declspec(dllimport) void* __stdcall HeapAlloc(HANDLE, DWORD, t_size);
}

// Output; every check prints one line and is counted.
void out(const char* text);
void out_uint(unsigned value);
void out_hex(unsigned long long value);
bool check(bool ok, const char* what);
int failures();
int checks();

// Runs body; returns 0 when it returned, else the code of the structured
// exception that left it (the player's own, or anything else that escaped).
template <typename F>
DWORD guarded(F body) {
  // The code is taken in the filter: Wine's x64 __C_specific_handler does not
  // hand it on to the __except block.
  volatile DWORD code = 0;
  __try {
    body();
  } __except (code = _exception_code(), 1) {
    return code ? code : 1;
  }
  return 0;
}

// The player's own exception: the code of an MSVC C++ throw.
constexpr DWORD player_exception = 0xE06D7363;
[[noreturn]] void player_throw();

void* heap_alloc(t_size bytes);  // zeroed; ends the program when it fails
bool equal(const char* a, const char* b);
bool starts_with(const char* text, const char* prefix);
bool contains(const char* text, const char* part);
bool read_env(const wchar_t* name, wchar_t* buffer, DWORD capacity);
// Writes a whole file (ASCII text) at a path; false when it cannot.
bool write_file(const wchar_t* path, const char* text);
// Reads up to capacity - 1 bytes of a file, NUL-terminated; 0 when it cannot.
t_size read_file(const wchar_t* path, char* buffer, t_size capacity);

extern "C" {
void* memcpy(void* to, const void* from, t_size n);
void* memset(void* to, int value, t_size n);
int memcmp(const void* a, const void* b, t_size n);
t_size strlen(const char* text);
}
