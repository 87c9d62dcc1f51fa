#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/process.h"
#include "platform/utf8.h"

namespace fulgora {
namespace {

std::atomic<bool>* interrupt_flag = nullptr;

BOOL WINAPI on_console_event(DWORD) {
  if (interrupt_flag) interrupt_flag->store(true);
  return TRUE;
}

}  // namespace

void* open_library(const std::string& utf8_path, std::string& error) {
  HMODULE library = LoadLibraryW(wide_of(utf8_path).c_str());
  if (!library) error = "LoadLibraryW failed with error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(library);
}

void* library_symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void close_library(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

void notice_interrupts(std::atomic<bool>* flag) {
  interrupt_flag = flag;
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

int interrupted_exit_status() { return 130; }  // as a POSIX shell reports Ctrl-C

bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

int terminal_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

const char* library_suffix() { return ".dll"; }

}  // namespace fulgora
