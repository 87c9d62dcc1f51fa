// One table of INI files and the value each must yield. The same table runs
// against GetPrivateProfileStringW (Windows build, under Wine) and against our
// own reader (POSIX build), so both readers give identical results.
#include "platform/settings_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_settings.h"

namespace fulgora {
namespace {

struct ini_case {
  const char* what;
  std::string file;
  const wchar_t* key;
  std::wstring expected;
};

std::wstring repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

const std::string long_value(300, 'x');
const std::string bom = "\xef\xbb\xbf";

const ini_case cases[] = {
    {"plain", "[SETTING]\nLOW_FREQ=500\n", L"LOW_FREQ", L"500"},
    {"CRLF", "[SETTING]\r\nLOW_FREQ=500\r\n", L"LOW_FREQ", L"500"},
    {"no final newline", "[SETTING]\nLOW_FREQ=500", L"LOW_FREQ", L"500"},
    {"spaces around", "[SETTING]\n  LOW_FREQ   =   500   \n", L"LOW_FREQ", L"500"},
    {"tabs around", "[SETTING]\n\tLOW_FREQ\t=\t500\t\r\n", L"LOW_FREQ", L"500"},
    {"inner spaces kept", "[SETTING]\nPORTNAME= COM 3 x \n", L"PORTNAME", L"COM 3 x"},
    {"key case", "[SETTING]\nlow_freq=501\n", L"LOW_FREQ", L"501"},
    {"section case", "[setting]\nLOW_FREQ=502\n", L"LOW_FREQ", L"502"},
    {"missing key", "[SETTING]\nMID_FREQ=5000\n", L"LOW_FREQ", L"fallback"},
    {"missing section", "[OTHER]\nLOW_FREQ=503\n", L"LOW_FREQ", L"fallback"},
    {"key before any section", "LOW_FREQ=504\n[SETTING]\n", L"LOW_FREQ", L"fallback"},
    {"empty value", "[SETTING]\nLOW_FREQ=\n", L"LOW_FREQ", L""},
    {"spaces only value", "[SETTING]\nLOW_FREQ=    \n", L"LOW_FREQ", L""},
    {"no equals sign", "[SETTING]\nLOW_FREQ\n", L"LOW_FREQ", L"fallback"},
    {"double quotes", "[SETTING]\nPORTNAME=\"COM3\"\n", L"PORTNAME", L"COM3"},
    {"single quotes", "[SETTING]\nPORTNAME='COM4'\n", L"PORTNAME", L"COM4"},
    {"quotes with spaces", "[SETTING]\nPORTNAME=\"  COM5 \"\n", L"PORTNAME", L"  COM5 "},
    {"unmatched quote", "[SETTING]\nPORTNAME=\"COM6\n", L"PORTNAME", L"\"COM6"},
    {"mixed quotes", "[SETTING]\nPORTNAME=\"COM7'\n", L"PORTNAME", L"\"COM7'"},
    {"lone quote", "[SETTING]\nPORTNAME=\"\n", L"PORTNAME", L"\""},
    {"empty quotes", "[SETTING]\nPORTNAME=\"\"\n", L"PORTNAME", L""},
    {"comment line", "[SETTING]\n;LOW_FREQ=1\nLOW_FREQ=505\n", L"LOW_FREQ", L"505"},
    {"comment after value", "[SETTING]\nLOW_FREQ=506 ; Hz\n", L"LOW_FREQ", L"506 ; Hz"},
    {"hash is no comment", "[SETTING]\n#LOW_FREQ=1\nLOW_FREQ=507\n", L"LOW_FREQ", L"507"},
    {"duplicate key: first", "[SETTING]\nLOW_FREQ=508\nLOW_FREQ=1\n", L"LOW_FREQ", L"508"},
    {"duplicate section: first key", "[SETTING]\nLOW_FREQ=509\n[SETTING]\nLOW_FREQ=2\n",
     L"LOW_FREQ", L"509"},
    {"duplicate section: key only in the second", "[SETTING]\nA=1\n[SETTING]\nLOW_FREQ=2\n",
     L"LOW_FREQ", L"fallback"},
    {"value with equals", "[SETTING]\nPORTNAME=a=b\n", L"PORTNAME", L"a=b"},
    {"blank lines", "\n\n[SETTING]\n\n\nLOW_FREQ=510\n\n", L"LOW_FREQ", L"510"},
    {"section spaced outside", "  [SETTING]  \nLOW_FREQ=511\n", L"LOW_FREQ", L"511"},
    {"other section after", "[SETTING]\nLOW_FREQ=512\n[NEXT]\nLOW_FREQ=3\n", L"LOW_FREQ", L"512"},
    {"key in later section only", "[SETTING]\nA=1\n[NEXT]\nLOW_FREQ=3\n", L"LOW_FREQ", L"fallback"},
    {"over-long value cut to 255", "[SETTING]\nPORTNAME=" + long_value + "\n", L"PORTNAME",
     repeat(L'x', 255)},
    {"255 exactly", "[SETTING]\nPORTNAME=" + std::string(255, 'y') + "\n", L"PORTNAME",
     repeat(L'y', 255)},
    {"UTF-8 BOM", bom + "[SETTING]\nLOW_FREQ=513\n", L"LOW_FREQ", L"513"},
    {"UTF-8 BOM, non-ASCII value", bom + "[SETTING]\nPORTNAME=\xc3\xa9t\xc3\xa9\n", L"PORTNAME",
     L"\u00e9t\u00e9"},
    {"UTF-8 BOM, CJK value", bom + "[SETTING]\nPORTNAME=\xe5\x85\x89\r\n", L"PORTNAME", L"\u5149"},
    {"UTF-16LE BOM",
     std::string("\xff\xfe[\0S\0E\0T\0T\0I\0N\0G\0]\0\n\0A\0=\0"
                 "7\0\n\0",
                 30),
     L"A", L"7"},
    {"CR only line ends", "[SETTING]\rLOW_FREQ=514\r", L"LOW_FREQ", L"514"},
};

TEST(settings_reader, equivalence_table) {
  static_assert(sizeof(cases) / sizeof(cases[0]) >= 30, "at least 30 files");
  for (const ini_case& c : cases) {
    fulgora_test::temp_settings_file file(c.file);
    const settings_file settings = settings_file::at(file.path());
    EXPECT_TRUE(settings.found()) << c.what;
    wchar_t buffer[settings_value_size];
    const unsigned length =
        settings.read(L"SETTING", c.key, L"fallback", buffer, settings_value_size);
    EXPECT_EQ(std::wstring(buffer), c.expected) << c.what;
    EXPECT_EQ(length, c.expected.size()) << c.what;
  }
}

TEST(settings_reader, a_missing_file_or_a_folder_gives_the_fallback) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "fulgora-settings-folder.ini";
  fs::create_directories(folder / "x");
  const fs::path missing = fs::temp_directory_path() / "fulgora-settings-none" / "foo_Fulgora.ini";
  for (const settings_file& settings : {settings_file::at(missing.u8string()),
                                        settings_file::at(folder.u8string()), settings_file{}}) {
    EXPECT_FALSE(settings.found());
    wchar_t buffer[settings_value_size];
    EXPECT_EQ(settings.read(L"SETTING", L"PORTNAME", L"", buffer, settings_value_size), 0u);
    EXPECT_EQ(settings.read(L"SETTING", L"LOW_FREQ", L"500", buffer, settings_value_size), 3u);
    EXPECT_EQ(std::wstring(buffer), L"500");
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

// What a live reload takes as a file that reads cleanly.
TEST(settings_reader, holds_section_only_with_lines_in_it) {
  const struct {
    std::string file;
    bool holds;
  } rows[] = {
      {"[SETTING]\nPORTNAME=COM3\n", true},
      {"[setting]\nLOW_FREQ=\n", true},
      {"", false},  // a save caught between truncating and writing
      {"[OTHER]\nPORTNAME=COM3\n", false},
      {"[SETTING]\n\n[OTHER]\nA=1\n", false},
      {"PORTNAME=COM3\n", false},
  };
  for (const auto& r : rows) {
    fulgora_test::temp_settings_file file(r.file);
    EXPECT_EQ(settings_file::at(file.path()).holds_section(L"SETTING"), r.holds) << r.file;
  }
  EXPECT_FALSE(settings_file{}.holds_section(L"SETTING"));
}

}  // namespace
}  // namespace fulgora
