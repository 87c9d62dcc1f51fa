// The simulated board as a child of the stand-in (--board).
#pragma once

#include <string>

namespace fulgora_play {

class board_child {
 public:
  // Starts fulgora-board logging to csv_path; device gets the PORTNAME.
  bool start(const std::string& program, const std::string& csv_path, std::string& device,
             std::string& error);
  // Ends it and collects its one-line summary.
  void stop();
  ~board_child() { stop(); }
  std::string summary;

 private:
  long pid_ = -1;
  int err_fd_ = -1;
};

}  // namespace fulgora_play
