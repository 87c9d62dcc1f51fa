#include "tools/common/output_file.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace fulgora_tools {

const char* const picture_header = "<!-- drawn by fulgora-play -->\n";
const char* const heard_log_header = "time_s,heard_s,line,ch0,ch1,ch2\n";
const char* const board_log_header = "time_s,line,ch0,ch1,ch2\n";

namespace {

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

bool begins_with(const fs::path& p, const std::string& header) {
  std::ifstream in(p, std::ios::binary);
  std::string first(header.size(), '\0');
  in.read(&first[0], static_cast<std::streamsize>(first.size()));
  return in && first == header;
}

}  // namespace

bool output_allowed(const std::string& path, const std::string& own_header,
                    const std::vector<std::string>& inputs, std::string& error) {
  const fs::path p(path);
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (fs::is_directory(st)) return error = path + ": a folder, not a file to write", false;
  for (const std::string& input : inputs)
    if (!input.empty() && same_file(p, input))
      return error = path + ": one of this run's inputs or outputs; not overwritten", false;
  if (fs::exists(st)) {
    if (!fs::is_regular_file(st))
      return error = path + ": not a regular file; not overwritten", false;
    if (!begins_with(p, own_header))
      return error = path +
                     ": exists and was not written by this tool; not overwritten (remove it or "
                     "choose another name)",
             false;
    if (!std::ofstream(p, std::ios::binary | std::ios::app))
      return error = path + ": cannot be written", false;
    return true;
  }
  if (fs::is_symlink(fs::symlink_status(p, ec)))
    return error = path + ": a link to nothing; not followed", false;
  const fs::path folder = fs::absolute(p, ec).parent_path();
  if (!fs::is_directory(folder, ec))
    return error = path + ": no such folder " + folder.u8string(), false;
  const bool writable = static_cast<bool>(std::ofstream(p, std::ios::binary));
  fs::remove(p, ec);
  if (!writable) return error = path + ": cannot be written in that folder", false;
  return true;
}

}  // namespace fulgora_tools
