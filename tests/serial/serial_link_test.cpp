#include "serial/serial_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"

namespace fulgora {
namespace {

using fulgora_test::fake_port;
using fulgora_test::fake_services;
using lines = std::vector<std::string>;

TEST(serial_link, open_outcomes_and_their_lines) {
  const struct {
    const char* what;
    bool fail_create, fail_get, fail_set;
    bool result;
    lines expected;
    int closes;
  } cases[] = {
      {"success", false, false, false, true, {"successful com open."}, 0},
      {"no such port", true, false, false, false, {"failed CreateFile."}, 0},
      {"get refused",
       false,
       true,
       false,
       false,
       {"failed GetCommState.", "successful com close."},
       1},
      {"set refused",
       false,
       false,
       true,
       false,
       {"failed SetCommState.", "successful com close."},
       1},
  };
  for (const auto& c : cases) {
    fake_services host;
    fake_port port;
    port.fail_create = c.fail_create;
    port.fail_get = c.fail_get;
    port.fail_set = c.fail_set;
    serial_link link(port, console_print);
    EXPECT_EQ(link.open(L"COM3"), c.result) << c.what;
    EXPECT_EQ(link.is_open(), c.result) << c.what;
    EXPECT_EQ(host.lines(), c.expected) << c.what;
    EXPECT_EQ(port.close_calls, c.closes) << c.what;
    EXPECT_EQ(port.opened_names, std::vector<std::wstring>{L"COM3"}) << "name as written";
  }
}

// What a successful open does to the line: four fields set, the rest put
// back as read, stale input drained in reads of at most 256 bytes.
TEST(serial_link, open_sets_four_fields_and_drains_stale_input_in_pieces) {
  fake_services host;
  fake_port port;
  port.input = std::string(600, 'g');
  serial_link link(port, console_print);
  ASSERT_TRUE(link.open(L"COM3"));
  EXPECT_EQ(port.last_set.baud_rate, 38400u);
  EXPECT_EQ(port.last_set.byte_size, 8);
  EXPECT_EQ(port.last_set.parity, 0);
  EXPECT_EQ(port.last_set.stop_bits, 0);
  EXPECT_EQ(port.last_set.native[0], 0x5a) << "the rest goes back as read";
  EXPECT_TRUE(port.input.empty());
  for (uint32_t r : port.read_requests) EXPECT_LE(r, 256u);
}

TEST(serial_link, close_lines) {
  fake_services host;
  fake_port port;
  serial_link link(port, console_print);
  link.close();
  EXPECT_TRUE(host.lines().empty()) << "closed link: nothing";
  ASSERT_TRUE(link.open(L"COM3"));
  link.close();
  link.close();
  EXPECT_EQ(host.lines(), (lines{"successful com open.", "successful com close."}));

  fake_services host2;
  ASSERT_TRUE(link.open(L"COM3"));
  port.fail_close = true;
  link.close();
  EXPECT_FALSE(link.is_open());
  EXPECT_EQ(host2.lines(),
            (lines{"successful com open.", "failed CloseHandle.", "successful com close."}));
}

TEST(level_command, exact_bytes) {
  const struct {
    uint8_t v[3];
    const char* wire;
  } cases[] = {
      {{0, 9, 10}, "SD00,09,0a\r\n"},
      {{255, 16, 171}, "SDff,10,ab\r\n"},
      {{1, 128, 254}, "SD01,80,fe\r\n"},
      {{0, 0, 0}, "SD00,00,00\r\n"},
  };
  for (const auto& c : cases) {
    fake_services host;
    fake_port port;
    serial_link link(port, console_print);
    ASSERT_TRUE(link.open(L"COM3"));
    port.arrivals = {"OK\r\n"};
    EXPECT_TRUE(link.send_level_command(c.v));
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], std::string(c.wire, 12));
  }
}

struct reply_case {
  const char* what;
  std::vector<std::string> pieces;
  bool accepted;
  lines printed;
  int polls;        // status queries made
  size_t left = 0;  // bytes still queued after the wait
};

TEST(read_reply, every_reply_case) {
  const std::string x253(253, 'x'), x254(254, 'x');
  const reply_case cases[] = {
      {"OK", {"OK\r\n"}, true, {}, 1},
      {"only the first two bytes are judged", {"OKAY\r\n"}, true, {}, 1},
      {"lower case refused", {"ok\r\n"}, false, {"recv res err!", "ok\r\n"}, 1},
      {"bare CR LF refused", {"\r\n"}, false, {"recv res err!", "\r\n"}, 1},
      {"split across reads", {"OK\r", "\n"}, true, {}, 2},
      {"late pieces", {"", "", "O", "K\r\n"}, true, {}, 4},
      {"LF without CR never completes", {"OK\n"}, false, {}, 11},
      {"CR CR LF never completes", {"OK\r\r\n"}, false, {}, 11},
      {"CR CR LF then a proper pair", {"OK\r\r\n", "\r\n"}, true, {}, 2},
      {"silence", {}, false, {}, 11},
      {"255 bytes ending CR LF complete",
       {x253 + "\r\n"},
       false,
       {"recv res err!", x253 + "\r\n"},
       1},
      {"LF as the 256th byte overflows", {x254 + "\r\n"}, false, {"recv buffer over!"}, 1},
      {"flood: the rest of that poll is dropped",
       {std::string(1000, '\x7f')},
       false,
       {"recv buffer over!"},
       1},
      {"OK then a flood in one poll", {"OK\r\n" + std::string(296, 'x')}, true, {}, 1},
      {"a later poll's bytes stay queued", {"OK\r\n", "late"}, true, {}, 1, 4},
      {"two replies in one read count as one", {"OK\r\nER\r\n"}, true, {}, 1},
      {"garbage then error line",
       {"\x01\x02zz\r", "\n"},
       false,
       {"recv res err!", "\x01\x02zz\r\n"},
       2},
  };
  for (const auto& c : cases) {
    fake_services host;
    fake_port port;
    serial_link link(port, console_print);
    ASSERT_TRUE(link.open(L"COM3"));
    const int polls_before = port.clear_calls;
    port.read_requests.clear();
    port.arrivals.assign(c.pieces.begin(), c.pieces.end());
    const uint8_t v[3] = {1, 2, 3};
    EXPECT_EQ(link.send_level_command(v), c.accepted) << c.what;
    lines printed(host.lines().begin() + 1, host.lines().end());
    EXPECT_EQ(printed, c.printed) << c.what;
    EXPECT_EQ(port.clear_calls - polls_before, c.polls) << c.what;
    size_t left = port.input.size();
    for (const std::string& a : port.arrivals) left += a.size();
    EXPECT_EQ(left, c.left) << c.what;
    for (uint32_t r : port.read_requests) EXPECT_LE(r, 256u) << c.what;
  }
}

TEST(read_reply, closing_command_polls_101_times_within_its_time) {
  fake_services host;
  fake_port port;
  serial_link link(port, console_print);
  ASSERT_TRUE(link.open(L"COM3"));
  link.set_closing_reply_limit(0);  // polls only, however long a pause lasts here
  int before = port.clear_calls;
  EXPECT_FALSE(link.send_closing_command());
  EXPECT_EQ(port.clear_calls - before, 101);
  EXPECT_EQ(port.writes.back(), "LD\r\n");
  // As if every pause lasted far longer than 1 ms: the time ends the wait.
  link.set_closing_reply_limit(1);
  before = port.clear_calls;
  EXPECT_FALSE(link.send_closing_command());
  EXPECT_LT(port.clear_calls - before, 101);
}

TEST(read_reply, status_query_failures) {
  for (int fail_at : {0, 2}) {  // before the first read, between reads
    fake_services host;
    fake_port port;
    serial_link link(port, console_print);
    ASSERT_TRUE(link.open(L"COM3"));
    port.fail_clear_at = port.clear_calls + fail_at;
    const uint8_t v[3] = {0, 0, 0};
    EXPECT_FALSE(link.send_level_command(v));
    EXPECT_EQ(host.lines().back(), "recv failed ClearCommError!");
    EXPECT_EQ(port.clear_calls - (port.fail_clear_at - fail_at), fail_at + 1);
    EXPECT_TRUE(link.is_open()) << "a failed wait changes nothing of the link";
  }
}

TEST(read_reply, a_late_reply_answers_the_next_command) {
  fake_services host;
  fake_port port;
  serial_link link(port, console_print);
  ASSERT_TRUE(link.open(L"COM3"));
  const uint8_t v[3] = {0, 0, 0};
  EXPECT_FALSE(link.send_level_command(v)) << "silent board";
  port.input = "OK\r\n";  // arrives after the first wait gave up
  const int before = port.clear_calls;
  EXPECT_TRUE(link.send_level_command(v));
  EXPECT_EQ(port.clear_calls - before, 1) << "accepted at once";
}

TEST(read_reply, failed_write_still_waits_and_closed_link_sends_nothing) {
  fake_services host;
  fake_port port;
  serial_link link(port, console_print);
  const uint8_t v[3] = {0, 0, 0};
  EXPECT_FALSE(link.send_level_command(v));
  EXPECT_FALSE(link.send_closing_command());
  EXPECT_TRUE(port.writes.empty());
  EXPECT_TRUE(host.lines().empty());

  ASSERT_TRUE(link.open(L"COM3"));
  port.fail_write = true;
  port.arrivals = {"OK\r\n"};
  EXPECT_TRUE(link.send_level_command(v)) << "the wait runs after a failed write";
}

// The engine's stop sets cancel while a cycle waits for its reply. The wait
// runs its bounded course all the same: a reply that comes on its third poll
// answers the level command, and the closing command judges its own reply
// (once a cut wait left OK queued, and the closing command took it).
TEST(read_reply, a_cancel_ends_only_a_write_not_the_reply_wait) {
  fake_services host;
  fake_port port;
  serial_link link(port, console_print);
  ASSERT_TRUE(link.open(L"COM3"));
  link.set_closing_reply_limit(0);
  link.cancel_writes(true);
  port.arrivals = {"", "", "OK\r\n", "", "NO\r\n"};
  const uint8_t v[3] = {1, 2, 3};
  EXPECT_TRUE(link.send_level_command(v));
  EXPECT_FALSE(link.send_closing_command());
  EXPECT_EQ(host.lines(), (lines{"successful com open.", "recv res err!", "NO\r\n"}));
}

}  // namespace
}  // namespace fulgora
