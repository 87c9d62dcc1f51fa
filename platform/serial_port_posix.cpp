#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/utf8.h"

namespace fulgora {
namespace {

static_assert(sizeof(termios) <= sizeof(comm_state::native), "termios must fit");

int as_fd(port_handle h) { return static_cast<int>(h); }

struct speed_entry {
  speed_t code;
  uint32_t baud;
};
const speed_entry speeds[] = {{B1200, 1200},   {B2400, 2400},     {B4800, 4800},
                              {B9600, 9600},   {B19200, 19200},   {B38400, 38400},
                              {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};

uint32_t baud_of(speed_t code) {
  for (const speed_entry& s : speeds)
    if (s.code == code) return s.baud;
  return 0;
}

bool code_of(uint32_t baud, speed_t& code) {
  for (const speed_entry& s : speeds)
    if (s.baud == baud) {
      code = s.code;
      return true;
    }
  return false;
}

class posix_port final : public serial_port_api {
 public:
  port_handle create_file(const wchar_t* name) override {
    const std::string path = utf8_of(name, std::wcslen(name));
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return invalid_port;
    // Windows opens a port for one owner only. TIOCEXCL refuses later opens by
    // other users, but not by root; the advisory lock covers that case and
    // every program that locks the same way.
    if (!isatty(fd) || ::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return invalid_port;
    }
    // A terminal in canonical mode reports only complete lines as waiting, so
    // a stale partial line would survive the drain that follows the open.
    termios t;
    if (::tcgetattr(fd, &t) == 0 && (t.c_lflag & ICANON)) {
      t.c_lflag &= ~static_cast<tcflag_t>(ICANON);
      ::tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
  }

  bool get_comm_state(port_handle h, comm_state& state) override {
    termios t;
    if (::tcgetattr(as_fd(h), &t) != 0) return false;
    state.baud_rate = baud_of(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
      case CS5:
        state.byte_size = 5;
        break;
      case CS6:
        state.byte_size = 6;
        break;
      case CS7:
        state.byte_size = 7;
        break;
      default:
        state.byte_size = 8;
        break;
    }
    state.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 1 : 2) : 0;
    state.stop_bits = (t.c_cflag & CSTOPB) ? 2 : 0;
    std::memcpy(state.native, &t, sizeof t);
    return true;
  }

  bool set_comm_state(port_handle h, const comm_state& state) override {
    termios t;
    std::memcpy(&t, state.native, sizeof t);
    speed_t speed;
    if (!code_of(state.baud_rate, speed) || state.byte_size < 5 || state.byte_size > 8 ||
        state.parity > 2 || state.stop_bits == 1)
      return false;
    // A Windows port has no line discipline: make this one raw as well. A
    // terminal nobody configured has XON/XOFF on, unlike a COM port, and one
    // stray 0x13 from the board would stop every later command: software flow
    // control goes off. Hardware flow control (CRTSCTS) stays as read.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    static const tcflag_t sizes[4] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[state.byte_size - 5] | CREAD | CLOCAL;
    if (state.parity != 0) t.c_cflag |= PARENB | (state.parity == 1 ? PARODD : 0);
    if (state.stop_bits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
    return ::tcsetattr(as_fd(h), TCSANOW, &t) == 0;
  }

  bool clear_comm_error(port_handle h, uint32_t& waiting) override {
    // An unplugged adapter or a closed pseudo-terminal shows as a hang-up:
    // report it as a failed query, as Windows does for a vanished device.
    pollfd p = {as_fd(h), POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
    int n = 0;
    if (::ioctl(as_fd(h), FIONREAD, &n) != 0 || n < 0) return false;
    waiting = static_cast<uint32_t>(n);
    return true;
  }

  bool read_file(port_handle h, void* buffer, uint32_t count, uint32_t& got) override {
    got = 0;
    if (count == 0) return true;
    const ssize_t n = ::read(as_fd(h), buffer, count);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    got = static_cast<uint32_t>(n);
    return true;
  }

  bool write_file(port_handle h, const void* data, uint32_t count, uint32_t& written,
                  const write_limit& limit) override {
    written = 0;
    const auto* p = static_cast<const unsigned char*>(data);
    unsigned long long deadline = monotonic_ms() + limit.timeout_ms;
    bool cancelled = false;
    while (written < count) {
      const ssize_t n = ::write(as_fd(h), p + written, count - written);
      if (n > 0) {
        written += static_cast<uint32_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
      if (!cancelled && limit.cancel && limit.cancel->load(std::memory_order_acquire)) {
        cancelled = true;
        deadline = std::min(deadline, monotonic_ms() + port_write_grace_ms);
      }
      const unsigned long long now = monotonic_ms();
      if (now >= deadline) return false;
      const unsigned long long left = deadline - now;
      // In slices, so that a cancel is seen within one.
      pollfd w = {as_fd(h), POLLOUT, 0};
      const int slice = static_cast<int>(std::min<unsigned long long>(left, 5));
      if (::poll(&w, 1, slice) < 0 && errno != EINTR) return false;
      if (w.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
    }
    return true;
  }

  bool close_handle(port_handle h) override {
    // The exclusive flag belongs to the terminal, not to this descriptor: left
    // on, it refuses the next non-root open while anyone else holds the line.
    ::ioctl(as_fd(h), TIOCNXCL);
    return ::close(as_fd(h)) == 0;
  }
};

}  // namespace

std::string port_identity(const wchar_t* name) {
  const std::string path = utf8_of(name, std::wcslen(name));
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out(real);
  std::free(real);
  return out;
}

serial_port_api& system_serial_port() {
  static posix_port port;
  return port;
}

}  // namespace fulgora
