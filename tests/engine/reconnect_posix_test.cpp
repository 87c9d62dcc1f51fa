// RECONNECT=1 on a real port: a pseudo-terminal linked under a fixed path is
// unplugged (its board side closed, the link removed), then comes back as a
// new pseudo-terminal under the same path.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/led_engine.h"
#include "tests/support/fake_console.h"
#include "tests/support/settings_scope.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using lines = std::vector<std::string>;

// The board's side of a pseudo-terminal, linked at path; answers OK to each line.
struct linked_board {
  int master = -1;
  std::string received;
  linked_board(const std::string& path) {
    int device = -1;
    char name[128];
    if (openpty(&master, &device, name, nullptr, nullptr) != 0) return;
    termios raw;
    tcgetattr(device, &raw);
    cfmakeraw(&raw);
    tcsetattr(device, TCSANOW, &raw);
    close(device);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    unlink(path.c_str());
    if (symlink(name, path.c_str()) != 0) unplug(path);
  }
  void answer() {
    char buf[256];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0) {
      received.append(buf, static_cast<size_t>(n));
      for (ssize_t i = 0; i < n; ++i)
        if (buf[i] == '\n' && write(master, "OK\r\n", 4) != 4) return;
    }
  }
  void unplug(const std::string& path) {
    unlink(path.c_str());
    if (master >= 0) close(master);
    master = -1;
  }
};

TEST(reconnect, a_board_that_vanishes_and_comes_back) {
  const std::string path = "/tmp/fulgora-reconnect-" + std::to_string(getpid());
  fulgora_test::settings_scope scope("[SETTING]\nPORTNAME=" + path + "\nRECONNECT=1\n");
  fulgora_test::fake_services host;
  const auto tone = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
  const audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, 44100);
  auto first = std::make_unique<linked_board>(path);
  ASSERT_GE(first->master, 0);
  {
    led_engine engine;
    ASSERT_TRUE(engine.running);
    auto play_until = [&](linked_board* board, auto condition) {
      return fulgora_test::eventually([&] {
        engine.offer_chunk(chunk);
        if (board) board->answer();
        return condition();
      });
    };
    ASSERT_TRUE(play_until(first.get(), [&] { return first->received.size() >= 24; }));
    first->unplug(path);
    ASSERT_TRUE(play_until(nullptr, [&] { return host.lines_now().size() >= 3; }));
    linked_board second(path);
    ASSERT_GE(second.master, 0);
    ASSERT_TRUE(play_until(&second, [&] { return second.received.size() >= 24; }));
    EXPECT_EQ(second.received.compare(0, 2, "SD"), 0) << second.received;
    EXPECT_EQ(host.lines_now(), (lines{"successful com open.", "recv failed ClearCommError!",
                                       "successful com close.", "successful com open."}));
  }
  EXPECT_EQ(host.lines().back(), "successful com close.");
  unlink(path.c_str());
}

}  // namespace
}  // namespace fulgora
