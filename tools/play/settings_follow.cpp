#include "tools/play/settings_follow.h"

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/settings_record.h"
#include "platform/utf8.h"
#include "tools/common/output_file.h"
#include "tools/common/settings_file.h"

namespace fulgora_play {

settings_follow::settings_follow(const std::string& source, const std::string& copy,
                                 const std::string& port)
    : source_(source), copy_(copy), port_(port) {
  if (source_.empty()) return;
  const fulgora::settings_record first = fulgora::read_settings(source_);
  if (!first.LIVE) return;
  user_port_ = fulgora::utf8_of(first.PORTNAME, std::wcslen(first.PORTNAME));
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

std::vector<settings_follow::passed> settings_follow::copies() const {
  std::lock_guard<std::mutex> lock(m_);
  return copies_;
}

void settings_follow::copy_once() {
  // With the board, written afresh with its port, as the first copy was:
  // the simulation never drives the port the user's file names.
  std::string text, error;
  const fulgora::settings_record edited = fulgora::read_settings(source_);
  const std::string port = fulgora::utf8_of(edited.PORTNAME, std::wcslen(edited.PORTNAME));
  if (!port_.empty() && port != user_port_) {
    std::fprintf(stderr,
                 "fulgora-play: PORTNAME=%s in the edited settings is not followed: with --board "
                 "the component stays on the simulated board (%s)\n",
                 port.c_str(), port_.c_str());
    user_port_ = port;
  }
  if (!port_.empty()) {
    if (!fulgora_tools::settings_for_board(source_, port_, text, error)) return;
  } else {
    std::ifstream in(source_, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.eof() && !in) return;
  }
  const std::filesystem::path copy = std::filesystem::u8path(copy_);
  if (!fulgora_tools::write_in_work_folder(copy.parent_path().u8string(),
                                           copy.filename().u8string(), text, error)) {
    std::fprintf(stderr, "fulgora-play: cannot pass the edited settings on: %s\n", error.c_str());
    return;
  }
  char sync[80];
  std::snprintf(sync, sizeof sync, "offset %d ms, %d/s", edited.sync.SYNC_OFFSET_MS,
                edited.sync.SYNC_RATE);
  std::lock_guard<std::mutex> lock(m_);
  copies_.push_back({std::chrono::steady_clock::now(), sync});
}

}  // namespace fulgora_play
