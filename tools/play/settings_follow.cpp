#include "tools/play/settings_follow.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/settings_record.h"
#include "tools/common/output_file.h"
#include "tools/common/settings_file.h"

namespace fulgora_play {

settings_follow::settings_follow(const std::string& source, const std::string& copy,
                                 const std::string& port)
    : source_(source), copy_(copy), port_(port) {
  if (source_.empty() || !fulgora::read_settings(source_).LIVE) return;
  fulgora::stamp_of(source_, seen_);
  thread_ = std::thread([this] { run(); });
}

settings_follow::~settings_follow() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void settings_follow::run() {
  while (!stop_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fulgora::file_stamp now;
    if (!fulgora::stamp_of(source_, now) || now == seen_) continue;
    seen_ = now;
    copy_once();
  }
}

void settings_follow::copy_once() {
  // With the board, written afresh with its port, as the first copy was:
  // the simulation never drives the port the user's file names.
  std::string text, error;
  if (!port_.empty()) {
    if (!fulgora_tools::settings_for_board(source_, port_, text, error)) return;
  } else {
    std::ifstream in(source_, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) return;
  }
  const std::filesystem::path copy = std::filesystem::u8path(copy_);
  if (!fulgora_tools::write_in_work_folder(copy.parent_path().u8string(),
                                           copy.filename().u8string(), text, error))
    std::fprintf(stderr, "fulgora-play: cannot pass the edited settings on: %s\n", error.c_str());
}

}  // namespace fulgora_play
