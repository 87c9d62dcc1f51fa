// The opt-in reconnect's rules on a scripted port and a clock the test sets:
// the retry interval, a port another instance holds, a stuck line's silence.
#include "engine/reconnect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"

namespace fulgora {
namespace {

using lines = std::vector<std::string>;

unsigned long long now_ms = 0;
unsigned long long test_clock() { return now_ms; }

// One worker cycle's level command, as the engine sends it.
struct recovering_link {
  fulgora_test::fake_services host;  // the link and the recovery both speak here
  fulgora_test::fake_port port;
  serial_link link{port, console_print};
  port_ticket ticket;
  link_recovery recovery;

  explicit recovering_link(bool enabled) {
    recovery.enabled = enabled;
    recovery.clock_ms = test_clock;
    recovery.interval_ms = 1000;
    port.answer_ok();
    ticket.prepare(L"X");
    ticket.claim();
    link.open(L"X");
  }
  // True when the command was written.
  bool cycle() {
    const size_t before = port.writes_now().size();
    // Any name: the fake port opens what it is told.
    if (recovery.link_ready(link, ticket, L"X")) {
      const uint8_t levels[3] = {1, 2, 0};
      link.send_level_command(levels);
      recovery.after_command(link, ticket);
    }
    return port.writes_now().size() > before;
  }
  size_t opens() { return port.opened_names.size(); }
  // The board goes away: the next status query fails, and so does every open.
  void unplug() {
    port.fail_create = true;
    port.fail_clear_at = port.clear_calls;
  }
};

TEST(link_recovery, off_keeps_the_link_open) {
  recovering_link r(false);
  r.unplug();
  EXPECT_TRUE(r.cycle());
  EXPECT_TRUE(r.cycle()) << "the next command is still written";
  EXPECT_EQ(r.port.close_calls, 0);
  EXPECT_EQ(r.host.lines(), (lines{"successful com open.", "recv failed ClearCommError!"}));
}

TEST(link_recovery, retries_by_the_clock_and_leaves_a_held_port_alone) {
  now_ms = 5000;
  recovering_link r(true);
  r.unplug();
  EXPECT_TRUE(r.cycle());
  EXPECT_FALSE(r.link.is_open());
  EXPECT_FALSE(r.ticket.held) << "released for another instance that waits";
  // No retry before the interval, one at it; the failures are silent.
  now_ms = 5999;
  EXPECT_FALSE(r.cycle());
  EXPECT_EQ(r.opens(), 1u);
  now_ms = 6000;
  EXPECT_FALSE(r.cycle());
  EXPECT_EQ(r.opens(), 2u);
  EXPECT_FALSE(r.ticket.held);
  // Back, but another instance of this process holds it now: left to it.
  r.port.fail_create = false;
  port_ticket other;
  other.prepare(L"X");
  ASSERT_TRUE(other.claim());
  now_ms = 7000;
  EXPECT_FALSE(r.cycle());
  EXPECT_EQ(r.opens(), 2u) << "not even tried";
  other.release();
  now_ms = 7500;
  EXPECT_FALSE(r.cycle()) << "still within the interval";
  now_ms = 8000;
  EXPECT_TRUE(r.cycle());
  EXPECT_EQ(r.port.opened_names, std::vector<std::wstring>(3, L"X")) << "the same port";
  EXPECT_EQ(r.host.lines(), (lines{"successful com open.", "recv failed ClearCommError!",
                                   "successful com close.", "successful com open."}));
}

TEST(link_recovery, a_stuck_line_is_quiet_until_a_command_goes_through) {
  now_ms = 0;
  recovering_link r(true);
  r.port.fail_write = true;  // the board stopped reading
  EXPECT_TRUE(r.cycle());
  EXPECT_FALSE(r.link.is_open());
  // Reopened and closed again while the line stays stuck: nothing said.
  for (int i = 1; i <= 2; ++i) {
    now_ms = 1000u * i;
    EXPECT_TRUE(r.cycle()) << i;
    EXPECT_FALSE(r.link.is_open()) << i;
  }
  r.port.fail_write = false;
  now_ms = 3000;
  EXPECT_TRUE(r.cycle());
  EXPECT_TRUE(r.cycle());
  EXPECT_TRUE(r.link.is_open());
  EXPECT_EQ(r.opens(), 4u);
  EXPECT_EQ(r.host.lines(), (lines{"successful com open.", "failed WriteFile.",
                                   "successful com close.", "successful com open."}))
      << "the open said once, when a command went through";
}

}  // namespace
}  // namespace fulgora
