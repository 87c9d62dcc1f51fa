#include <gtest/gtest.h>

#include <string>

#include "tools/play/extras.h"

namespace fulgora_play {
namespace {

TEST(printable_line, board_bytes_never_reach_the_terminal_raw) {
  const struct { std::string in, out; } cases[] = {
      {"successful com open.", "successful com open.\n"},
      {"ER\r\n", "ER\n"},
      {"\r\n", "\n"},
      {"\x1b[2J\x07OK\r\n", "\\x1b[2J\\x07OK\n"},
      {std::string("a\0b\r\rc\xff\n", 8), "a\\x00b\\x0d\\x0dc\\xff\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(printable_line(c.in), c.out) << c.out;
}

}  // namespace
}  // namespace fulgora_play
