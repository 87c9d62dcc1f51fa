#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace fulgora {
namespace {

// Each form both ways; a malformed byte or a lone surrogate becomes U+FFFD
// one way and fails the strict decoder.
TEST(utf8, round_trips_and_replaces_what_is_malformed) {
  struct row {
    std::string bytes;
    std::wstring text;
    bool well_formed;
  };
  const std::wstring astral = sizeof(wchar_t) == 2 ? std::wstring{wchar_t(0xd83d), wchar_t(0xde00)}
                                                   : std::wstring{wchar_t(0x1f600)};
  const row rows[] = {
      {"COM3", L"COM3", true},
      {"\xc3\xa9", std::wstring{wchar_t(0xe9)}, true},
      {"\xe3\x82\x92", std::wstring{wchar_t(0x3092)}, true},
      {"\xf0\x9f\x98\x80", astral, true},
      {"a\xff", std::wstring{L'a', wchar_t(0xfffd)}, false},
      {"\xc0\xaf", std::wstring{wchar_t(0xfffd), wchar_t(0xfffd)}, false},  // overlong
      {"\xed\xa0\x80", std::wstring(3, wchar_t(0xfffd)), false},            // a surrogate
      {"\xe3\x82", std::wstring{wchar_t(0xfffd), wchar_t(0xfffd)}, false},  // cut short
  };
  for (const row& r : rows) {
    EXPECT_EQ(wide_of(r.bytes), r.text) << r.bytes;
    std::wstring strict;
    EXPECT_EQ(decode_utf8(r.bytes.data(), r.bytes.size(), strict), r.well_formed) << r.bytes;
    if (r.well_formed) {
      EXPECT_EQ(utf8_of(r.text), r.bytes) << r.bytes;
    }
  }
  EXPECT_EQ(utf8_of(std::wstring{L'x', wchar_t(0xdc00)}), "x\xef\xbf\xbd");
}

}  // namespace
}  // namespace fulgora
