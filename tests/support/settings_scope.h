// Runs a test inside a fresh current directory holding
// components/foo_Fulgora.ini with the given bytes (or no file at all).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fulgora_test {

class settings_scope {
 public:
  explicit settings_scope(const std::string* bytes) {
    static int counter = 0;
    namespace fs = std::filesystem;
#ifndef _WIN32
    unsetenv("FULGORA_INI");  // the POSIX reader would prefer that file
#endif
    previous_ = fs::current_path();
    // Test processes run side by side: the name must differ between them.
    static const unsigned long long salt = std::random_device{}();
    dir_ = fs::temp_directory_path() /
           ("fulgora-settings-" + std::to_string(salt) + "-" + std::to_string(++counter));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "components");
    if (bytes) {
      std::ofstream out(dir_ / "components" / "foo_Fulgora.ini", std::ios::binary);
      out << *bytes;
    }
    fs::current_path(dir_);
  }
  explicit settings_scope(const std::string& bytes) : settings_scope(&bytes) {}
  ~settings_scope() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(dir_, ignored);
  }
  settings_scope(const settings_scope&) = delete;
  settings_scope& operator=(const settings_scope&) = delete;

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

}  // namespace fulgora_test
