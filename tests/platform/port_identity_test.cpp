// Two spellings of one port must be one port in the process's record.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/serial_port.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fulgora {
namespace {

TEST(port_identity, spellings_of_one_port_compare_equal) {
#ifdef _WIN32
  for (const wchar_t* name : {L"COM3", L"com3", L"\\\\.\\COM3", L"\\\\.\\com3", L"\\\\?\\Com3"})
    EXPECT_EQ(port_identity(name), "COM3");
  EXPECT_NE(port_identity(L"COM13"), "COM3");
#else
  const std::string link = testing::TempDir() + "fulgora-port-identity-link";
  std::remove(link.c_str());
  ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
  const std::wstring wide(link.begin(), link.end());
  EXPECT_EQ(port_identity(wide.c_str()), "/dev/null");
  EXPECT_EQ(port_identity(L"/dev/./null"), "/dev/null");
  EXPECT_EQ(port_identity(L"/dev/no-such-port"), "/dev/no-such-port") << "kept as given";
  std::remove(link.c_str());
#endif
}

}  // namespace
}  // namespace fulgora
