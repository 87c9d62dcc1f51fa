// Two DSP instances configured for the same port, on a pseudo-terminal: the
// second cannot open it and runs stopped, the first goes on driving the board.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "component/dsp_fulgora.h"
#include "tests/support/chunk_lists.h"
#include "tests/support/fake_console.h"
#include "tests/support/settings_scope.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::one_chunk_list;
TEST(two_instances, the_second_cannot_take_the_port_and_the_first_goes_on) {
  int board = -1, device = -1;
  char path[128];
  ASSERT_EQ(openpty(&board, &device, path, nullptr, nullptr), 0);
  termios raw;
  tcgetattr(device, &raw);
  cfmakeraw(&raw);
  tcsetattr(device, TCSANOW, &raw);
  fcntl(board, F_SETFL, fcntl(board, F_GETFL) | O_NONBLOCK);
  fulgora_test::settings_scope scope("[SETTING]\nPORTNAME=" + std::string(path) + "\n");
  fulgora_test::fake_services host;

  service_ptr_t<dsp> first, second;
  first.set(new service_impl_t<dsp_fulgora>());
  second.set(new service_impl_t<dsp_fulgora>());
  EXPECT_EQ(host.lines(), (std::vector<std::string>{"successful com open.", "failed CreateFile."}));

  const auto tone = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
  audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, 44100);
  std::string received;
  ASSERT_TRUE(fulgora_test::eventually([&] {
    one_chunk_list a(&chunk), b(&chunk);
    second->run(&b, metadb_handle_ptr(), 0);
    first->run(&a, metadb_handle_ptr(), 0);
    char buf[256];
    ssize_t n;
    while ((n = read(board, buf, sizeof buf)) > 0) {
      received.append(buf, static_cast<size_t>(n));
      if (write(board, "OK\r\n", 4) != 4) return false;
    }
    return received.size() >= 24;  // two level commands
  }));
  EXPECT_EQ(received.compare(0, 2, "SD"), 0) << received;
  second.release();
  EXPECT_EQ(host.lines().size(), 2u) << "a stopped instance ends silently";
  first.release();
  EXPECT_EQ(host.lines().back(), "successful com close.");
  close(board);
  close(device);
}

}  // namespace
}  // namespace fulgora
