// The opt-in reconnect's rules on a scripted port and a clock the test sets:
// the retry interval, a port another instance holds, a stuck line's silence.
#include "engine/reconnect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/test_clock.h"

namespace fulgora {
namespace {

using lines = std::vector<std::string>;

constexpr unsigned long long interval = reconnect_interval_ms;

// One worker cycle's level command, as the engine sends it.
struct recovering_link {
  fulgora_test::fake_services host;  // the link and the recovery both speak here
  fulgora_test::fake_port port;
  serial_link link{port, console_print};
  port_ticket ticket;
  fulgora_test::test_clock clock;
  link_recovery recovery;

  explicit recovering_link(bool enabled) : recovery(enabled, clock) {
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
  recovering_link r(true);
  r.clock.now = 5000;
  r.unplug();
  EXPECT_TRUE(r.cycle());
  EXPECT_FALSE(r.link.is_open());
  EXPECT_FALSE(r.ticket.held()) << "released for another instance that waits";
  // No retry before the interval, one at it; the failures are silent.
  r.clock.now = 5000 + interval - 1;
  EXPECT_FALSE(r.cycle());
  EXPECT_EQ(r.opens(), 1u);
  r.clock.now = 5000 + interval;
  EXPECT_FALSE(r.cycle());
  EXPECT_EQ(r.opens(), 2u);
  EXPECT_FALSE(r.ticket.held());
  // Back, but another instance of this process holds it now: left to it.
  r.port.fail_create = false;
  port_ticket other;
  other.prepare(L"X");
  ASSERT_TRUE(other.claim());
  r.clock.now = 5000 + 2 * interval;
  EXPECT_FALSE(r.cycle());
  EXPECT_EQ(r.opens(), 2u) << "not even tried";
  other.release();
  r.clock.now = 5000 + 2 * interval + interval / 2;
  EXPECT_FALSE(r.cycle()) << "still within the interval";
  r.clock.now = 5000 + 3 * interval;
  EXPECT_TRUE(r.cycle());
  EXPECT_EQ(r.port.opened_names, std::vector<std::wstring>(3, L"X")) << "the same port";
  EXPECT_EQ(r.host.lines(), (lines{"successful com open.", "recv failed ClearCommError!",
                                   "successful com close.", "successful com open."}));
}

TEST(link_recovery, a_stuck_line_is_quiet_until_a_command_goes_through) {
  recovering_link r(true);
  r.port.fail_write = true;  // the board stopped reading
  EXPECT_TRUE(r.cycle());
  EXPECT_FALSE(r.link.is_open());
  // Reopened and closed again while the line stays stuck: nothing said.
  for (int i = 1; i <= 2; ++i) {
    r.clock.now = interval * i;
    EXPECT_TRUE(r.cycle()) << i;
    EXPECT_FALSE(r.link.is_open()) << i;
  }
  r.port.fail_write = false;
  r.clock.now = 3 * interval;
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
