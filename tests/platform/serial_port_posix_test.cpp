// The POSIX port against pseudo-terminal pairs: we hold the board's side.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "serial/serial_link.h"
#include "tests/support/fake_console.h"
#include "tests/support/pty.h"
#include "tests/support/raw_port.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::fake_services;

using fulgora_test::pty_board;

// Runs check in a child process as an ordinary user (nobody) when this runs
// as root, since root passes the terminal's exclusive flag; its result.
bool as_ordinary_user(const std::string& device, const std::function<bool()>& check) {
  if (geteuid() != 0) return check();
  chmod(device.c_str(), 0666);
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(posix_port, open_applies_38400_8n1_raw_and_keeps_flow_control) {
  fake_services host;
  pty_board pty(false);
  termios before;
  ASSERT_EQ(tcgetattr(pty.device, &before), 0);
  before.c_cflag |= CRTSCTS | PARENB | CSTOPB;
  before.c_iflag |= IXON | IXOFF | IXANY;
  cfsetospeed(&before, B9600);
  ASSERT_EQ(tcsetattr(pty.device, TCSANOW, &before), 0);

  serial_link link(system_serial_port(), console_print);
  ASSERT_TRUE(link.open(pty.wide_path.c_str()));
  termios after;
  ASSERT_EQ(tcgetattr(pty.device, &after), 0);
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B38400));
  EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0u) << "no parity, one stop bit";
  EXPECT_NE(after.c_cflag & CRTSCTS, 0u) << "hardware flow control kept";
  EXPECT_EQ(after.c_iflag & (IXON | IXOFF | IXANY), 0u) << "software flow control off";
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), 0u) << "raw: nothing echoed or edited";
  // A stray XOFF from the board is data now, not a stop of every later write.
  ASSERT_TRUE(pty.say("\x13"));
  uint32_t waiting = 0;  // with IXON left on, the line would swallow it and stop
  ASSERT_TRUE(fulgora_test::eventually(
      [&] { return link.api().clear_comm_error(link.handle(), waiting) && waiting == 1; }));
  const uint8_t v[3] = {1, 2, 3};
  EXPECT_FALSE(link.send_level_command(v));
  EXPECT_EQ(pty.read_board(), "SD01,02,03\r\n");
  link.close();
  EXPECT_EQ(host.lines(),
            (std::vector<std::string>{"successful com open.", "successful com close."}));
}

TEST(posix_port, a_second_open_is_refused_like_on_windows) {
  pty_board pty(false);  // holds the line open, as the board simulator or a monitor does
  auto refused_then_free = [&] {
    fake_services host;
    serial_link first(system_serial_port(), console_print),
        second(system_serial_port(), console_print);
    const bool ok = first.open(pty.wide_path.c_str()) && !second.open(pty.wide_path.c_str()) &&
                    host.lines().back() == "failed CreateFile.";
    first.close();
    const bool again = second.open(pty.wide_path.c_str());  // free again once closed
    second.close();
    return ok && again && !serial_link().open(L"/dev/fulgora-no-such-port");
  };
  EXPECT_TRUE(refused_then_free());
  EXPECT_TRUE(refused_then_free()) << "and again after the first round";
  EXPECT_TRUE(as_ordinary_user(pty.path, refused_then_free)) << "without root";
}

// Stale input never counts as a reply: a whole line on a raw line, and a
// partial one that a canonical terminal does not report as waiting.
TEST(posix_port, exchange_drains_stale_input_first) {
  for (const bool raw : {true, false}) {
    fake_services host;
    pty_board pty(false);
    termios t;  // a fresh pseudo-terminal echoes and is canonical; a board's line is raw
    ASSERT_EQ(tcgetattr(pty.device, &t), 0);
    cfmakeraw(&t);
    if (raw) {
      ASSERT_EQ(tcsetattr(pty.device, TCSANOW, &t), 0);
    }
    ASSERT_TRUE(pty.say(raw ? "stale OK\r\n" : "junk"));
    serial_link link(system_serial_port(), console_print);
    ASSERT_TRUE(link.open(pty.wide_path.c_str()));
    const uint8_t v[3] = {0, 9, 10};
    if (raw) {
      EXPECT_FALSE(link.send_level_command(v)) << "the stale line is no reply";
    }
    ASSERT_TRUE(pty.say("OK\r\n"));
    EXPECT_TRUE(link.send_level_command(v)) << raw << ": the stale bytes do not begin the reply";
    ASSERT_TRUE(pty.say("NG\r\n"));
    EXPECT_FALSE(link.send_closing_command());
    if (raw) {
      EXPECT_EQ(pty.read_board(), "SD00,09,0a\r\nSD00,09,0a\r\nLD\r\n");
    }
    EXPECT_EQ(host.lines(),
              (std::vector<std::string>{"successful com open.", "recv res err!", "NG\r\n"}));
  }
}

TEST(posix_port, a_hung_up_device_is_a_failed_status_query) {
  fake_services host;
  pty_board pty(false);
  serial_link link(system_serial_port(), console_print);
  ASSERT_TRUE(link.open(pty.wide_path.c_str()));
  close(pty.board);  // the board side goes away, like an unplugged adapter
  pty.board = -1;
  const uint8_t v[3] = {1, 2, 3};
  EXPECT_FALSE(link.send_level_command(v));
  EXPECT_EQ(host.lines().back(), "recv failed ClearCommError!");
}

TEST(posix_port, a_board_that_never_reads_cannot_hold_a_write) {
  pty_board pty(false);
  serial_port_api& port = system_serial_port();
  const port_handle h = fulgora_test::open_raw_port(pty.wide_path.c_str());
  ASSERT_NE(h, invalid_port);
  const std::vector<char> big(1 << 20, 'x');
  uint32_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.write_file(h, big.data(), static_cast<uint32_t>(big.size()), written));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(written, big.size());
  EXPECT_GE(seconds, 0.5) << "it waited for the line";
  EXPECT_LT(seconds, 30.0) << "and gave up";
  EXPECT_TRUE(port.close_handle(h));
}

}  // namespace
}  // namespace fulgora
