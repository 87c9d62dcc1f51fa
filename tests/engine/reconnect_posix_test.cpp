// RECONNECT=1 on a real port, through the engine's cycle: a pseudo-terminal
// linked under a fixed path is unplugged (closed, the link removed), then
// comes back as a new pseudo-terminal under the same path. The retry rules
// themselves are reconnect_test.cpp's; a retry at every turn keeps this one fast.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/led_engine.h"
#include "tests/support/fake_console.h"
#include "tests/support/pty.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/test_clock.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::pty_board;
using lines = std::vector<std::string>;

// A board on a new pseudo-terminal, linked at path.
std::unique_ptr<pty_board> plug_in(const std::string& path) {
  auto b = std::make_unique<pty_board>();
  unlink(path.c_str());
  if (!b->ok() || symlink(b->path.c_str(), path.c_str()) != 0) b->unplug();
  return b;
}

TEST(reconnect, a_board_that_vanishes_and_comes_back) {
  const std::string path = "/tmp/fulgora-reconnect-" + std::to_string(getpid());
  const settings_record file =
      fulgora_test::settings_of("[SETTING]\nPORTNAME=" + path + "\nRECONNECT=1\n");
  fulgora_test::fake_services host;
  const auto tone = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
  const audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, 44100);
  auto first = plug_in(path);
  ASSERT_TRUE(first->ok());
  {
    led_engine engine(file, system_serial_port(), fulgora_test::retry_every_turn());
    ASSERT_TRUE(engine.is_running());
    auto play_until = [&](pty_board* board, auto condition) {
      return fulgora_test::eventually([&] {
        engine.offer_chunk(chunk);
        if (board) board->serve();
        return condition();
      });
    };
    ASSERT_TRUE(play_until(first.get(), [&] { return first->received.size() >= 24; }));
    first->unplug();
    unlink(path.c_str());
    ASSERT_TRUE(play_until(nullptr, [&] {
      const lines said = host.lines_now();
      return !said.empty() && said.back() == "successful com close.";
    }));
    auto second = plug_in(path);
    ASSERT_TRUE(second->ok());
    ASSERT_TRUE(play_until(second.get(), [&] { return second->received.size() >= 24; }));
    EXPECT_EQ(second->received.compare(0, 2, "SD"), 0) << second->received;
    EXPECT_EQ(host.lines_now(), (lines{"successful com open.", "recv failed ClearCommError!",
                                       "successful com close.", "successful com open."}));
  }
  EXPECT_EQ(host.lines().back(), "successful com close.");
  unlink(path.c_str());
}

// A board that is not there when the instance is built (a chain swap while
// it is unplugged) is tried again as after an unplug; without RECONNECT the
// instance stays dark, as ever.
TEST(reconnect, a_board_missing_at_the_start_is_tried_again) {
  const std::string path = "/tmp/fulgora-reconnect-late-" + std::to_string(getpid());
  unlink(path.c_str());
  const auto tone = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
  const audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, 44100);
  for (const bool reconnect : {false, true}) {
    const settings_record file = fulgora_test::settings_of("[SETTING]\nPORTNAME=" + path + "\n" +
                                                           (reconnect ? "RECONNECT=1\n" : ""));
    fulgora_test::fake_services host;
    {
      std::unique_ptr<pty_board> board;  // outlives the instance: no unplug before the checks
      led_engine engine(file, system_serial_port(), fulgora_test::retry_every_turn());
      EXPECT_EQ(engine.is_running(), reconnect);
      EXPECT_EQ(host.lines_now(), lines{"failed CreateFile."});
      // The board comes after the instance was built.
      if (reconnect) {
        board = plug_in(path);
        ASSERT_TRUE(board->ok());
        ASSERT_TRUE(fulgora_test::eventually([&] {
          engine.offer_chunk(chunk);
          board->serve();
          return board->received.size() >= 24;
        }));
        EXPECT_EQ(board->received.compare(0, 2, "SD"), 0) << board->received;
      }
      EXPECT_EQ(host.lines_now(), (reconnect ? lines{"failed CreateFile.", "successful com open."}
                                             : lines{"failed CreateFile."}));
    }
    EXPECT_EQ(host.lines().back(), reconnect ? "successful com close." : "failed CreateFile.");
    unlink(path.c_str());
  }
}

}  // namespace
}  // namespace fulgora
