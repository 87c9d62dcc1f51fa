// A line that takes no more bytes (a board that stopped reading, or flow
// control holding it): releasing the instance must not stall the player's
// thread, and the console says so once, with or without RECONNECT.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
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

using lines = std::vector<std::string>;

TEST(stuck_line, release_is_bounded_and_said_once) {
  struct row {
    const char* extra;
    double play_s;  // long enough for RECONNECT to try again a few times
  } rows[] = {{"", 0.0}, {"RECONNECT=1\n", 0.5}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.extra);
    fulgora_test::pty_board b;
    ASSERT_TRUE(b.ok());
    // Fill the line towards the board, which never reads it.
    fcntl(b.device, F_SETFL, fcntl(b.device, F_GETFL) | O_NONBLOCK);
    const std::string junk(4096, 'x');
    while (write(b.device, junk.data(), junk.size()) > 0) {
    }
    const settings_record file =
        fulgora_test::settings_of("[SETTING]\nPORTNAME=" + b.path + "\n" + r.extra);
    fulgora_test::fake_services host;
    const auto tone = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
    const audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, 44100);
    {
      led_engine engine(file, system_serial_port(), fulgora_test::retry_every_turn());
      ASSERT_TRUE(engine.is_running());
      ASSERT_TRUE(fulgora_test::eventually([&] {
        engine.offer_chunk(chunk);
        return host.lines_now().size() >= 2;
      }));
      const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(r.play_s);
      while (std::chrono::steady_clock::now() < until) {
        engine.offer_chunk(chunk);
        usleep(2000);
      }
      // Release while the worker is inside a write that cannot finish.
      engine.offer_chunk(chunk);
      usleep(20000);
      const auto start = std::chrono::steady_clock::now();
      engine.stop();
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      // Unbounded, one stuck level command and the closing command take >= 1.2 s.
      EXPECT_LT(seconds, 0.6);
    }
    lines expected{"successful com open.", "failed WriteFile.", "successful com close."};
    EXPECT_EQ(host.lines(), expected);
  }
}

}  // namespace
}  // namespace fulgora
