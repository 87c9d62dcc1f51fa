// With LIVE=1 in the user's settings file, the private copy the component
// reads follows the user's edits during the run, written for the simulated
// board as the first copy was: a thread of the tool looks at the user's file
// a few times a second and, when it changed, puts a new copy in place of its
// own old one in one rename (the component never reads half a copy). The
// user's file is only read. With the board, a PORTNAME edit is not passed
// on, and one line says so.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_stamp.h"

namespace fulgora_play {

class settings_follow {
 public:
  // source: the user's file; copy: the tool's own; port: the simulated
  // board's device, empty when none. Does nothing unless source has LIVE=1.
  settings_follow(const std::string& source, const std::string& copy, const std::string& port);
  ~settings_follow();
  settings_follow(const settings_follow&) = delete;
  settings_follow& operator=(const settings_follow&) = delete;

  bool following() const { return thread_.joinable(); }

  // Each copy passed on: when (steady clock) and what it sets that a reload
  // takes ("offset -100 ms, 60/s"). Read after the run.
  struct passed {
    std::chrono::steady_clock::time_point at;
    std::string sync;
  };
  std::vector<passed> copies() const;

 private:
  void run();
  void copy_once();

  std::string source_, copy_, port_;
  std::string user_port_;  // with the board: the port the user's file named last
  mutable std::mutex m_;
  std::vector<passed> copies_;
  fulgora::file_stamp seen_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace fulgora_play
