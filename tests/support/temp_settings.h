// A settings file for a test, handed over by path: the given bytes in a file
// of the temporary folder, removed again at the end of the scope.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fulgora_test {

class temp_settings_file {
 public:
  explicit temp_settings_file(const std::string& bytes) {
    static std::atomic<int> counter{0};
    // Test processes run side by side: the name must differ between them.
    static const unsigned long long salt = std::random_device{}();
    path_ = std::filesystem::temp_directory_path() /
            ("fulgora-settings-" + std::to_string(salt) + "-" + std::to_string(++counter) + ".ini");
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~temp_settings_file() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  temp_settings_file(const temp_settings_file&) = delete;
  temp_settings_file& operator=(const temp_settings_file&) = delete;

  std::string path() const { return path_.u8string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace fulgora_test
