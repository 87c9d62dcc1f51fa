// Settings paths that are no regular file: each counts as a missing file,
// without blocking, without growing memory and without an exception.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/settings_reader.h"
#include "tests/support/settings_scope.h"

namespace fulgora {
namespace {

TEST(settings_reader, paths_that_are_no_regular_file_count_as_absent) {
  fulgora_test::settings_scope scope(nullptr);
  ASSERT_EQ(mkfifo("fifo.ini", 0600), 0);
  std::ofstream("big.ini") << "[SETTING]\nLOW_FREQ=123\n" << std::string(3 << 20, ';') << "\n";
  for (const char* path : {"/tmp", "fifo.ini", "/dev/zero", "/dev/null"}) {
    setenv("FULGORA_INI", path, 1);
    wchar_t buffer[settings_value_size];
    EXPECT_NO_THROW(EXPECT_EQ(
        read_profile_string(L"SETTING", L"LOW_FREQ", L"500", buffer, settings_value_size), 3u))
        << path;
    EXPECT_EQ(std::wstring(buffer), L"500") << path;
  }
  setenv("FULGORA_INI", "big.ini", 1);
  wchar_t buffer[settings_value_size];
  EXPECT_EQ(read_profile_string(L"SETTING", L"LOW_FREQ", L"500", buffer, settings_value_size), 3u);
  EXPECT_EQ(std::wstring(buffer), L"123") << "the head of an oversized file is read";
  unsetenv("FULGORA_INI");
}

}  // namespace
}  // namespace fulgora
