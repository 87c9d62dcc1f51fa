#include <dlfcn.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "platform/process.h"

namespace fulgora {
namespace {

std::atomic<bool>* interrupt_flag = nullptr;
volatile sig_atomic_t interrupt_signal = SIGINT;

void on_signal(int signal_number) {
  interrupt_signal = signal_number;
  if (interrupt_flag) interrupt_flag->store(true);
}

}  // namespace

void* open_library(const std::string& utf8_path, std::string& error) {
  void* library = dlopen(utf8_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) error = dlerror();
  return library;
}

void* library_symbol(void* library, const char* name) { return dlsym(library, name); }
void close_library(void* library) { dlclose(library); }

void notice_interrupts(std::atomic<bool>* flag) {
  interrupt_flag = flag;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

int interrupted_exit_status() { return 128 + interrupt_signal; }

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

int terminal_columns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

const char* library_suffix() { return ".so"; }

}  // namespace fulgora
