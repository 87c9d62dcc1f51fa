// RECONNECT=1 on a real COM port under Wine: wine_com_test.sh links COM7 to
// fulgora-board, ends that board once level commands arrive (the link goes
// with it), and a second later starts a new one under the same name. The
// retry rules are reconnect_test.cpp's; a retry at every turn keeps this one fast.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/led_engine.h"
#include "tests/support/fake_console.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/test_clock.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

TEST(win32_com, reconnect_when_the_board_comes_back) {
  const char* port = std::getenv("FULGORA_TEST_COM");
  if (!port || !std::getenv("FULGORA_TEST_RECONNECT"))
    GTEST_SKIP() << "needs FULGORA_TEST_COM and FULGORA_TEST_RECONNECT (run by wine_com_test.sh)";
  const settings_record file = fulgora_test::settings_of(std::string("[SETTING]\r\nPORTNAME=") +
                                                         port + "\r\nRECONNECT=1\r\n");
  fulgora_test::fake_services host;
  const auto tone = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
  const audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, 44100);
  led_engine engine(file, system_serial_port(), fulgora_test::retry_every_turn());
  ASSERT_TRUE(engine.is_running());
  auto count = [&](const char* line) {
    const auto lines = host.lines_now();
    return std::count(lines.begin(), lines.end(), std::string(line));
  };
  auto play_until = [&](auto condition) {
    return fulgora_test::eventually(
        [&] {
          engine.offer_chunk(chunk);
          return condition();
        },
        90.0);
  };
  ASSERT_TRUE(play_until([&] { return count("successful com close.") == 1; }))
      << "the link closes once the board has gone";
  ASSERT_TRUE(play_until([&] { return count("successful com open.") == 2; }))
      << "and opens again when it is back";
  // Play on for a while, so the new board receives level commands.
  int cycles = 0;
  play_until([&] { return ++cycles > 2000; });
  EXPECT_EQ(count("failed CreateFile."), 0) << "the retries are silent";
  EXPECT_LE(count("recv failed ClearCommError!"), 1) << "at most the failure that closed it";
  const auto lines = host.lines_now();
  EXPECT_EQ(lines.front(), "successful com open.");
  EXPECT_EQ(lines.back(), "successful com open.");
}

}  // namespace
}  // namespace fulgora
