// Settings paths that are no regular file: each counts as a missing file,
// without blocking, without growing memory and without an exception.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/settings_reader.h"

namespace fulgora {
namespace {

TEST(settings_reader, paths_that_are_no_regular_file_count_as_absent) {
  const std::string dir = std::filesystem::temp_directory_path().u8string() + "/";
  const std::string fifo = dir + "fulgora-settings-fifo.ini",
                    big = dir + "fulgora-settings-big.ini";
  std::remove(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(big) << "[SETTING]\nLOW_FREQ=123\n" << std::string(3 << 20, ';') << "\n";
  for (const std::string& path :
       {std::string("/tmp"), fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    wchar_t buffer[settings_value_size];
    EXPECT_NO_THROW(EXPECT_EQ(
        settings_file::at(path).read(L"SETTING", L"LOW_FREQ", L"500", buffer, settings_value_size),
        3u))
        << path;
    EXPECT_EQ(std::wstring(buffer), L"500") << path;
  }
  // FULGORA_INI names the component's file, whatever else is there.
  setenv("FULGORA_INI", big.c_str(), 1);
  const settings_file settings = settings_file::from_places();
  unsetenv("FULGORA_INI");
  wchar_t buffer[settings_value_size];
  EXPECT_EQ(settings.path(), big);
  EXPECT_EQ(settings.read(L"SETTING", L"LOW_FREQ", L"500", buffer, settings_value_size), 3u);
  EXPECT_EQ(std::wstring(buffer), L"123") << "the head of an oversized file is read";
  std::remove(fifo.c_str());
  std::remove(big.c_str());
}

}  // namespace
}  // namespace fulgora
