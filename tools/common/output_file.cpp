#include "tools/common/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace fulgora_tools {

const char* const picture_header = "<!-- drawn by fulgora-play -->\n";
const char* const heard_log_header = "time_s,heard_s,line,ch0,ch1,ch2\n";
const char* const board_log_header = "time_s,line,ch0,ch1,ch2\n";
const char* const demo_track_mark = "written by fulgora-demo-track";

namespace {

// The file in a working folder that names its owner: "TOOL PID".
const char* const owner_file = ".fulgora-owner";

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

std::string head_of(const fs::path& p, size_t bytes) {
  std::ifstream in(p, std::ios::binary);
  std::string first(bytes, '\0');
  in.read(&first[0], static_cast<std::streamsize>(first.size()));
  first.resize(static_cast<size_t>(in.gcount()));
  return first;
}

uint32_t le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
  return v;
}

// A board's link: one into /dev/pts/ whose device is gone.
bool dead_board_link(const fs::path& p) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(p, ec);
  return !ec && target.u8string().rfind("/dev/pts/", 0) == 0 && !fs::exists(target, ec);
}

bool check_one(const planned_output& out, std::string& error) {
  const std::string& path = out.path;
  const fs::path p(path);
  std::error_code ec;
  const fs::file_status link_st = fs::symlink_status(p, ec);
  if (fs::is_symlink(link_st)) {
    if (out.use->mark == output_mark::board_link && dead_board_link(p)) return true;
    const bool dangling = !fs::exists(fs::status(p, ec));
    return error =
               path + (out.use->mark == output_mark::board_link
                           ? ": a link that is not a gone board's (its device is live or it points "
                             "elsewhere); not replaced"
                       : dangling ? ": a link to nothing; not followed"
                                  : ": a link; not followed, not replaced"),
           false;
  }
  if (fs::is_directory(link_st)) return error = path + ": a folder, not a file to write", false;
  if (fs::exists(link_st)) {
    if (!fs::is_regular_file(link_st))
      return error = path + ": not a regular file; not overwritten", false;
    bool own = false;
    if (out.use->mark == output_mark::header)
      own = head_of(p, std::strlen(out.use->own_header)) == out.use->own_header;
    else if (out.use->mark == output_mark::wav_comment)
      own = carries_wav_mark(path);
    if (!own)
      return error =
                 path + (out.use->mark == output_mark::none
                             ? ": exists; this output takes a free path only (it carries no mark "
                               "that would tell it is this tool's)"
                             : ": exists and was not written by this tool; not overwritten (remove "
                               "it or choose another name)"),
             false;
    if (!std::ofstream(p, std::ios::binary | std::ios::app))
      return error = path + ": cannot be written", false;
    return true;
  }
  const fs::path folder = fs::absolute(p, ec).parent_path();
  if (!fs::is_directory(folder, ec))
    return error = path + ": no such folder " + folder.u8string(), false;
  if (out.use->mark == output_mark::board_link) return true;  // a link needs no probe
  const bool writable = static_cast<bool>(std::ofstream(p, std::ios::binary));
  fs::remove(p, ec);
  if (!writable) return error = path + ": cannot be written in that folder", false;
  return true;
}

#ifndef _WIN32
bool owner_alive(const std::string& mark, const std::string& tool) {
  if (mark.rfind(tool + " ", 0) != 0) return true;  // not ours to judge: keep
  const long pid = std::atol(mark.c_str() + tool.size() + 1);
  return pid <= 0 || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}
#endif

// Folders of this tool left by runs that were killed: only those that carry
// the owner file, belong to this user and whose owner is gone.
void sweep_work_folders(const fs::path& temp, const std::string& tool) {
#ifndef _WIN32
  std::error_code ec;
  for (fs::directory_iterator it(temp, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().u8string();
    struct stat st;
    if (name.rfind(tool + "-", 0) != 0 || lstat(it->path().c_str(), &st) != 0 ||
        !S_ISDIR(st.st_mode) || st.st_uid != getuid())
      continue;
    const fs::path mark = it->path() / owner_file;
    if (!fs::is_regular_file(fs::symlink_status(mark, ec))) continue;
    if (!owner_alive(head_of(mark, 64), tool)) fs::remove_all(it->path(), ec);
  }
#else
  (void)temp;
  (void)tool;
#endif
}

long own_pid() {
#ifdef _WIN32
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

}  // namespace

bool carries_wav_mark(const std::string& path) {
  // RIFF, then chunks: the LIST/INFO chunk's ICMT holds the mark. Only the
  // first 64 KiB are read; the tool writes its comment before the samples.
  const std::string s = head_of(fs::path(path), 65536);
  if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return false;
  const std::string mark = demo_track_mark;
  for (size_t at = 12; at + 8 <= s.size();) {
    const uint32_t size = le32(s, at + 4);
    if (s.compare(at, 4, "LIST") == 0 && at + 12 <= s.size() && s.compare(at + 8, 4, "INFO") == 0) {
      const size_t end = std::min<size_t>(s.size(), at + 8 + size);
      for (size_t sub = at + 12; sub + 8 <= end;) {
        const uint32_t n = le32(s, sub + 4);
        if (s.compare(sub, 4, "ICMT") == 0 && sub + 8 + n <= end &&
            s.compare(sub + 8, mark.size(), mark) == 0)
          return true;
        sub += 8 + n + (n & 1);
      }
    }
    at += 8 + static_cast<size_t>(size) + (size & 1);
  }
  return false;
}

bool outputs_allowed(const std::vector<planned_output>& outputs,
                     const std::vector<std::string>& inputs, std::string& error) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    const std::string& path = outputs[i].path;
    if (path.empty()) continue;
    for (const std::string& input : inputs)
      if (!input.empty() && same_file(path, input))
        return error = path + ": one of this run's inputs; not overwritten", false;
    for (size_t j = 0; j < outputs.size(); ++j)
      if (j != i && !outputs[j].path.empty() && same_file(path, outputs[j].path))
        return error = path + ": named for two outputs of this run (" + outputs[i].use->role +
                       ", " + outputs[j].use->role + ")",
               false;
    if (!check_one(outputs[i], error)) return false;
  }
  return true;
}

bool output_allowed(const std::string& path, const std::string& own_header,
                    const std::vector<std::string>& inputs, std::string& error) {
  const output_use use{"output", output_mark::header, own_header.c_str(), ""};
  return outputs_allowed({{path, &use}}, inputs, error);
}

FILE* open_output(const std::string& path, std::string& error) {
#ifdef _WIN32
  FILE* f = std::fopen(path.c_str(), "wb");
#else
  // Never through a link: one put there since the check is not followed.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  FILE* f = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (fd >= 0 && !f) close(fd);
#endif
  if (!f) error = path + ": cannot be written: " + std::strerror(errno);
  return f;
}

bool write_output(const std::string& path, const std::string& text) {
  std::string error;
  FILE* f = open_output(path, error);
  if (!f) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && written;
}

bool place_link(const std::string& path, const std::string& device, std::string& error) {
#ifdef _WIN32
  (void)path;
  (void)device;
  error = "links are made on Linux only";
  return false;
#else
  if (dead_board_link(path)) unlink(path.c_str());
  if (symlink(device.c_str(), path.c_str()) == 0) return true;
  error = "cannot link " + path + ": " + std::strerror(errno);
  return false;
#endif
}

void remove_own_link(const std::string& path, const std::string& device) {
#ifndef _WIN32
  char target[256] = {};
  if (readlink(path.c_str(), target, sizeof target - 1) > 0 && device == target)
    unlink(path.c_str());
#else
  (void)path;
  (void)device;
#endif
}

std::string make_work_folder(const std::string& tool, std::string& error) {
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) return error = "no temporary folder: " + ec.message(), "";
  sweep_work_folders(temp, tool);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path dir =
        temp / (tool + "-" + std::to_string(own_pid()) + "-" + std::to_string(attempt));
    if (!fs::create_directory(dir, ec)) {
      if (ec) break;
      continue;  // there already
    }
    const std::string folder = dir.u8string();
    std::string why;
    if (!write_in_work_folder(folder, owner_file, tool + " " + std::to_string(own_pid()) + "\n",
                              why)) {
      fs::remove_all(dir, ec);
      return error = why, "";
    }
    return folder;
  }
  return error = "cannot make a working folder in " + temp.u8string(), "";
}

void remove_work_folder(const std::string& folder) {
  std::error_code ec;
  if (folder.empty() || !fs::is_regular_file(fs::path(folder) / owner_file, ec)) return;
  fs::remove_all(folder, ec);
}

bool write_in_work_folder(const std::string& folder, const std::string& name,
                          const std::string& text, std::string& error) {
  const fs::path target = fs::path(folder) / name;
  const fs::path next = target.u8string() + ".next";
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  {
    std::ofstream out(next, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) return error = "cannot write " + next.u8string(), false;
  }
  fs::rename(next, target, ec);
  if (ec) return error = "cannot write " + target.u8string() + ": " + ec.message(), false;
  return true;
}

}  // namespace fulgora_tools
