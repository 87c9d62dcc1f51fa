// The serial link against the board simulator on a pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "serial/serial_link.h"
#include "tests/support/board_process.h"
#include "tests/support/fake_console.h"
#include "tests/support/raw_port.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::board_process;
using fulgora_test::fake_services;
using lines = std::vector<std::string>;

std::string temp_csv(const char* name) {
  return "/tmp/fulgora-board-" + std::to_string(getpid()) + "-" + name + ".csv";
}

TEST(board_simulator, reply_behaviours) {
  const struct {
    std::vector<std::string> args;
    bool accepted;
    lines printed;
  } cases[] = {
      {{"--reply", "error"}, false, {"recv res err!", "ER\r\n"}},
      {{"--split"}, true, {}},
      {{"--line-speed"}, true, {}},
      {{"--reply", "silent"}, false, {}},
      {{"--flood"}, false, {"recv buffer over!"}},
  };
  for (const auto& c : cases) {
    fake_services host;
    board_process board(c.args);
    ASSERT_FALSE(board.device.empty());
    serial_link link(system_serial_port(), console_print);
    ASSERT_TRUE(link.open(board.wide_device.c_str()));
    const uint8_t v[3] = {0, 0, 0};
    // Commands until one is accepted or, for a board that never accepts, a
    // line is said: the board needs a moment to answer, longer on a loaded
    // machine, where a reply may also come too late for its command and spoil
    // the next one's. A silent one has a second.
    bool accepted = false;
    size_t said_before = 1;  // the open line
    fulgora_test::eventually(
        [&] {
          said_before = host.lines().size();
          return (accepted = link.send_level_command(v)) ||
                 (!c.accepted && host.lines().size() > 1);
        },
        c.accepted || !c.printed.empty() ? 20.0 : 1.0);
    EXPECT_EQ(accepted, c.accepted) << c.args[0];
    // What was said about the command accepted, or since the open.
    lines printed(host.lines().begin() + static_cast<std::ptrdiff_t>(c.accepted ? said_before : 1),
                  host.lines().end());
    if (printed.size() > c.printed.size()) printed.resize(c.printed.size());
    EXPECT_EQ(printed, c.printed) << c.args[0];
  }
}

TEST(board_simulator, a_late_answer_is_taken_by_the_next_command) {
  fake_services host;
  // Far later than the 11 polls, even on a loaded machine.
  board_process board({"--late", "300"});
  serial_link link(system_serial_port(), console_print);
  ASSERT_TRUE(link.open(board.wide_device.c_str()));
  const uint8_t v[3] = {0, 0, 0};
  EXPECT_FALSE(link.send_level_command(v)) << "11 polls are over before 300 ms";
  uint32_t waiting = 0;
  ASSERT_TRUE(fulgora_test::eventually([&] {
    return link.api().clear_comm_error(link.handle(), waiting) && waiting >= 4;  // "OK\r\n"
  }));
  EXPECT_TRUE(link.send_level_command(v)) << "the late OK is already waiting";
}

// Every line logged, malformed ones too, and the board answers on.
TEST(board_simulator, logs_every_line_and_survives_malformed_ones) {
  fake_services host;
  const std::string csv = temp_csv("bad");
  board_process board({"--csv", csv});
  serial_port_api& port = system_serial_port();
  const port_handle h = fulgora_test::open_raw_port(board.wide_device.c_str());
  ASSERT_NE(h, invalid_port);
  uint32_t n = 0;
  const std::string junk = "SDzz,00,00\r\nSD1,2,3\r\n\xff\xfe\r\n";
  ASSERT_TRUE(port.write_file(h, junk.data(), static_cast<uint32_t>(junk.size()), n));
  port.close_handle(h);
  serial_link link(system_serial_port(), console_print);
  ASSERT_TRUE(link.open(board.wide_device.c_str()));
  const uint8_t v[3] = {5, 128, 254};  // hex digits above 9 read back
  EXPECT_TRUE(fulgora_test::eventually([&] { return link.send_level_command(v); }))
      << "still answering after garbage";
  EXPECT_TRUE(link.send_closing_command());
  link.close();
  EXPECT_EQ(board.stop(), 0) << "ends cleanly on SIGTERM";
  const std::string log = fulgora_test::read_file(csv);
  EXPECT_EQ(log.rfind("time_s,line,ch0,ch1,ch2\n", 0), 0u);
  EXPECT_NE(log.find(",\"LD\",,,\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",\"SDzz,00,00\",,,\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",\"SD05,80,fe\",5,128,254\n"), std::string::npos) << log;
  unlink(csv.c_str());
}

}  // namespace
}  // namespace fulgora
