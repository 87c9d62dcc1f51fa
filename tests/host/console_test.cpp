#include "host/console.h"

#include <gtest/gtest.h>

#include "tests/support/fake_console.h"

namespace fulgora {
namespace {

using fulgora_test::fake_services;

TEST(console_print, silent_until_services_are_available) {
  fake_services host(1, false);
  console_print("successful com open.");
  EXPECT_EQ(host.find_calls, 0) << "the player is not called at all";
  EXPECT_TRUE(host.lines().empty());
  g_services_available = true;
  console_print("successful com open.");
  EXPECT_EQ(host.lines(), std::vector<std::string>{"successful com open."});
}

TEST(console_print, every_receiver_once_in_order_each_reference_released) {
  fake_services host(2);
  console_print("recv res err!");
  console_print("ok\r\n");
  EXPECT_EQ(host.all,
            (std::vector<std::string>{"recv res err!", "recv res err!", "ok\r\n", "ok\r\n"}));
  EXPECT_EQ(host.receivers[0].lines, host.receivers[1].lines);
  for (const auto& r : host.receivers) EXPECT_EQ(r.refs, 0) << "one release per reference";
}

TEST(console_print, text_up_to_its_zero_and_no_receivers_is_harmless) {
  fake_services host(1);
  console_print("abc\0def");
  EXPECT_EQ(host.lines(), std::vector<std::string>{"abc"});
  fake_services empty(0);
  console_print("nobody listens");
  EXPECT_EQ(empty.find_calls, 1);
}

}  // namespace
}  // namespace fulgora
