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

// Sets *flag when the user presses Ctrl-C (or the process gets SIGTERM).
void notice_interrupts(std::atomic<bool>* flag);

bool stdout_is_terminal();

// The platform's file name ending of a shared library: ".dll" or ".so".
const char* library_suffix();

}  // namespace fulgora
