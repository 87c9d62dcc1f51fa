// The Win32 port on a real COM port: under Wine, COMn linked to fulgora-board's
// pseudo-terminal by tests/serial/wine_com_test.sh, which names the port in
// FULGORA_TEST_COM and checks afterwards what the board received.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "serial/serial_link.h"
#include "tests/support/fake_console.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::fake_services;
using lines = std::vector<std::string>;

std::wstring test_port() {
  const char* name = std::getenv("FULGORA_TEST_COM");
  std::wstring out;
  for (const char* p = name ? name : ""; *p; ++p) out += static_cast<wchar_t>(*p);
  return out;
}

TEST(win32_com, exchange_with_the_board) {
  const std::wstring port = test_port();
  if (port.empty()) GTEST_SKIP() << "needs FULGORA_TEST_COM (run by wine_com_test.sh)";
  fake_services host;
  serial_link link(system_serial_port(), console_print);
  ASSERT_TRUE(link.open(port.c_str()));
  // Exclusivity is not checked here: Wine does not enforce it, Windows does.

  const uint8_t v[3] = {0, 9, 10};
  EXPECT_TRUE(fulgora_test::eventually([&] { return link.send_level_command(v); }));

  // A line the board does not understand gets an error answer: two lines.
  uint32_t n = 0;
  ASSERT_TRUE(link.api().write_file(link.handle(), "XX\r\n", 4, n));
  char reply[reply_buffer_size];
  EXPECT_TRUE(fulgora_test::eventually([&] {
    std::memset(reply, 0, sizeof reply);
    const size_t before = host.lines().size();
    EXPECT_FALSE(link.read_reply(reply, level_pass_limit));
    return host.lines().size() > before;
  })) << "the error answer is judged";
  EXPECT_TRUE(link.send_closing_command());
  link.close();
  lines expected = {"successful com open.", "recv res err!", "ER\r\n", "successful com close."};
  EXPECT_EQ(host.lines(), expected);
}

TEST(win32_com, a_board_that_never_reads_cannot_hold_a_write) {
  const std::wstring port = test_port();
  if (port.empty() || !std::getenv("FULGORA_TEST_NO_READ"))
    GTEST_SKIP() << "needs FULGORA_TEST_COM and a board started with --no-read";
  serial_port_api& api = system_serial_port();
  const port_handle h = api.create_file(port.c_str());
  ASSERT_NE(h, invalid_port);
  const std::vector<char> big(1 << 20, 'x');
  uint32_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(api.write_file(h, big.data(), static_cast<uint32_t>(big.size()), written));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30.0);
  EXPECT_LT(written, big.size());
  api.close_handle(h);
}

}  // namespace
}  // namespace fulgora
