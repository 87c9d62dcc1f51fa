// Process-level facilities for the user tools: loading a shared library by
// path and noticing Ctrl-C.
#pragma once

#include <atomic>
#include <string>

namespace fulgora {

// Null (with a reason in error) when the library cannot be loaded.
void* open_library(const std::string& utf8_path, std::string& error);
void* library_symbol(void* library, const char* name);
void close_library(void* library);

// Sets *flag when the user presses Ctrl-C, closes the terminal (SIGHUP) or
// the process gets SIGTERM.
void notice_interrupts(std::atomic<bool>* flag);
// The exit status a shell expects after that interruption: 128 + the signal
// (130 after Ctrl-C).
int interrupted_exit_status();

bool stdout_is_terminal();
// Width of the terminal on standard output; 80 when it cannot be told.
int terminal_columns();

// The platform's file name ending of a shared library: ".dll" or ".so".
const char* library_suffix();

}  // namespace fulgora
