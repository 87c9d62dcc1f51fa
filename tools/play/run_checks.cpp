#include "tools/play/run_checks.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/common/outputs.h"
#ifndef _WIN32
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace fulgora_play {

#ifndef _WIN32
namespace {

// A terminal device, known without opening it: a pseudo-terminal, or a
// device the kernel files under its tty class.
bool is_terminal_device(const std::string& port, const struct stat& st) {
  char real[PATH_MAX];
  if (realpath(port.c_str(), real) && std::string(real).rfind("/dev/pts/", 0) == 0) return true;
  const std::string sys = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                          std::to_string(minor(st.st_rdev)) + "/subsystem";
  char link[PATH_MAX] = {};
  const ssize_t n = readlink(sys.c_str(), link, sizeof link - 1);
  const std::string subsystem(link, n > 0 ? static_cast<size_t>(n) : 0);
  return subsystem.size() >= 4 && subsystem.compare(subsystem.size() - 4, 4, "/tty") == 0;
}

// Whether another program holds the port as the component would: opened
// for itself alone (an open refused as busy) or under the advisory lock.
// Asked only after the component's own open failed, so the line is opened
// no more than the component just did.
bool held_elsewhere(const std::string& port) {
  // This run itself may hold it (an instance the player has not yet
  // released): that is no other program.
  char real[PATH_MAX], held[PATH_MAX];
  if (!realpath(port.c_str(), real)) return false;
  std::error_code ec;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec))
    if (realpath(fd.path().c_str(), held) && std::strcmp(real, held) == 0) return false;
  const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return locked;
}

}  // namespace
#endif

bool outputs_allowed(const run_paths& p, const std::string& settings_path, std::string& error) {
  std::vector<std::string> inputs = {settings_path, utf8(p.component)};
  for (const auto& f : p.files) inputs.push_back(utf8(f));
  return fulgora_tools::outputs_allowed({{utf8(p.plot), &fulgora_tools::play_outputs[0]},
                                         {utf8(p.log), &fulgora_tools::play_outputs[1]}},
                                        inputs, error);
}

bool times_within(const options& o, double total_s, std::string& error) {
  char line[200];
  const auto past = [&](const char* option, double at) {
    std::snprintf(line, sizeof line, "%s %.2f s: past the end of the audio (%.2f s)", option, at,
                  total_s);
    error = line;
    return false;
  };
  if (o.seek_at >= 0 && o.seek_at >= total_s) return past("--seek", o.seek_at);
  if (o.seek_at >= 0 && o.seek_to >= total_s) return past("--seek to", o.seek_to);
  if (o.pause_at >= 0 && o.pause_at >= total_s) return past("--pause", o.pause_at);
  if (o.swap_at >= 0 && o.swap_at >= total_s) return past("--swap-at", o.swap_at);
  return true;
}

std::string port_trouble(const std::string& port) {
#ifdef _WIN32
  (void)port;
  return "";
#else
  const std::string what = "PORTNAME=" + port + ": ";
  std::string upper;
  for (char c : port) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const bool com = upper.size() > 3 && upper.compare(0, 3, "COM") == 0 &&
                   upper.find_first_not_of("0123456789", 3) == std::string::npos;
  if (com || port.rfind("\\\\.\\", 0) == 0)
    return what + "a Windows port name; here a port is a device, as /dev/ttyUSB0 or /dev/ttyACM0";
  struct stat st;
  if (stat(port.c_str(), &st) != 0 && errno == ENOENT)
    return what + "no such device (is the board plugged in? ls /dev/ttyUSB* /dev/ttyACM*)";
  if (access(port.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
    return what +
           "no permission: join the dialout group (sudo usermod -aG dialout $USER, then log in "
           "again)";
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
    return what + "not a serial device (a " + (S_ISDIR(st.st_mode) ? "folder" : "regular file") +
           "); a port is a device, as /dev/ttyUSB0 or /dev/ttyACM0";
  if (!S_ISCHR(st.st_mode) || !is_terminal_device(port, st))
    return what + "not a serial device; a port is a device, as /dev/ttyUSB0 or /dev/ttyACM0";
  if (held_elsewhere(port))
    return what +
           "in use by another program (a port takes one program at a time: close the "
           "other one)";
  return "";
#endif
}

std::string mode_text(const options& o, const fulgora::settings_record& r,
                      const std::vector<decoded_audio>& audio) {
  char text[200];
  const unsigned rate = audio.empty() ? 0u : audio.front().rate;
  if (o.fast) {  // no output, no clock: no buffer and no sync to name
    std::snprintf(text, sizeof text, "--fast: sync off%s, %u Hz",
                  r.sync.SYNC ? " (SYNC=1 needs the playback clock)" : "", rate);
    return text;
  }
  char sync[80];
  if (r.sync.SYNC)
    std::snprintf(sync, sizeof sync, "sync on (offset %d ms, %d/s)", r.sync.SYNC_OFFSET_MS,
                  r.sync.SYNC_RATE);
  else
    std::snprintf(sync, sizeof sync, "sync off");
  std::snprintf(text, sizeof text, "%s, real time, buffer %.0f ms, %u Hz", sync, o.buffer_ms, rate);
  return text;
}

std::string fast_sync_note(const options& o, const fulgora::settings_record& r) {
  if (!o.fast || !r.sync.SYNC) return "";
  return "SYNC=1 needs the real-time run (--fast has no playback clock): this run is not synced";
}

}  // namespace fulgora_play
