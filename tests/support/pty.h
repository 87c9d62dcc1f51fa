// A pseudo-terminal pair standing in for a board on a serial port: the test
// holds the board's side (non-blocking), the component opens the device side
// by its name. One thread uses it.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace fulgora_test {

struct pty_board {
  int board = -1, device = -1;
  std::string path;  // the device side's name
  std::wstring wide_path;
  std::string received;  // what serve() has read

  // raw: the device side starts in raw mode, as a port the link has set up.
  explicit pty_board(bool raw = true) {
    char name[128];
    if (openpty(&board, &device, name, nullptr, nullptr) != 0) return;
    path = name;
    wide_path.assign(path.begin(), path.end());
    if (raw) {
      termios t;
      tcgetattr(device, &t);
      cfmakeraw(&t);
      tcsetattr(device, TCSANOW, &t);
    }
    fcntl(board, F_SETFL, fcntl(board, F_GETFL) | O_NONBLOCK);
  }
  ~pty_board() { unplug(); }
  pty_board(const pty_board&) = delete;
  pty_board& operator=(const pty_board&) = delete;
  bool ok() const { return board >= 0; }

  // What the device side wrote since the last read.
  std::string read_board() {
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = read(board, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
  }
  bool say(const std::string& s) {
    return write(board, s.data(), s.size()) == static_cast<ssize_t>(s.size());
  }
  // A board that answers every line with OK.
  void serve() {
    const std::string got = read_board();
    received += got;
    for (char c : got)
      if (c == '\n' && !say("OK\r\n")) return;
  }
  // Closes both sides: the board is gone.
  void unplug() {
    if (board >= 0) close(board);
    if (device >= 0) close(device);
    board = device = -1;
  }
};

}  // namespace fulgora_test
