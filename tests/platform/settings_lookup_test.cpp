// Which file serves the settings when it may be in three places: the current
// directory's components folder, beside the library, the profile folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/settings_reader.h"
#include "tests/support/settings_scope.h"

namespace fulgora {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::wstring read(const wchar_t* key, const wchar_t* fallback) {
  wchar_t buffer[settings_value_size];
  settings_file::from_places().read(L"SETTING", key, fallback, buffer, settings_value_size);
  return buffer;
}

// A fresh current directory with a library folder and a profile folder (its
// name not ASCII, as user names often are), handed over as the player would.
struct places {
  places() {
    fs::create_directories(library.parent_path());
    fs::create_directories(profile.parent_path());
    set_settings_places({(library.parent_path() / "foo_Fulgora.dll").u8string(),
                         "file://" + profile.parent_path().u8string()});
  }
  ~places() { set_settings_places({}); }

  fulgora_test::settings_scope scope{nullptr};  // first: it sets the current directory
  const fs::path current = fs::path("components") / "foo_Fulgora.ini";
  const fs::path library = fs::current_path() / "player" / "components" / "foo_Fulgora.ini";
  const fs::path profile =
      fs::current_path() / fs::u8path("profile-\xc3\xa9\xe5\x85\x89") / "foo_Fulgora.ini";
};

std::string port_file(const char* name) {
  return std::string("[SETTING]\nPORTNAME=") + name + "\n";
}

TEST(settings_lookup, first_place_with_a_file_wins) {
  struct order_case {
    bool current, library, profile;
    const wchar_t* expected;
  } const cases[] = {
      {false, false, false, L"none"},   {true, false, false, L"current"},
      {false, true, false, L"library"}, {false, false, true, L"profile"},
      {true, true, false, L"current"},  {true, false, true, L"current"},
      {false, true, true, L"library"},  {true, true, true, L"current"},
  };
  for (const order_case& c : cases) {
    places p;
    if (c.current) write(p.current, port_file("current"));
    if (c.library) write(p.library, port_file("library"));
    if (c.profile) write(p.profile, port_file("profile"));
    EXPECT_EQ(read(L"PORTNAME", L"none"), c.expected)
        << "current " << c.current << ", library " << c.library << ", profile " << c.profile;
  }
}

TEST(settings_lookup, one_file_serves_every_key_and_folders_are_passed_over) {
  {
    places p;  // no merging: a key missing from the first file takes its fallback
    write(p.library, port_file("library"));
    write(p.profile, "[SETTING]\nPORTNAME=profile\nLOW_FREQ=123\n");
    EXPECT_EQ(read(L"PORTNAME", L""), L"library");
    EXPECT_EQ(read(L"LOW_FREQ", L"500"), L"500");
  }
  {
    places p;  // a folder of that name is no settings file
    fs::create_directories(p.current);
    fs::create_directories(p.library);
    write(p.profile, port_file("profile"));
    EXPECT_EQ(read(L"PORTNAME", L""), L"profile");
  }
}

TEST(settings_lookup, without_the_players_word_the_library_is_the_running_module) {
  const fs::path self = fs::u8path(own_module_path());
  EXPECT_TRUE(fs::is_regular_file(self)) << self.u8string();
  EXPECT_EQ(self.stem().u8string(), "fulgora_platform_tests");
}

}  // namespace
}  // namespace fulgora
