#include "tools/play/inputs.h"

#include "platform/process.h"

namespace fs = std::filesystem;

namespace fulgora_play {

std::string utf8(const fs::path& p) {
  const auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

run_paths resolve_paths(const char* argv0, const options& o) {
  std::error_code ec;
  run_paths p;
  p.self = fs::absolute(fs::path(argv0), ec).lexically_normal();
  p.component = o.component.empty() ? p.self.parent_path() /
                                          (std::string("foo_Fulgora") + fulgora::library_suffix())
                                    : fs::absolute(o.component, ec);
  for (const auto& f : o.files) p.files.push_back(fs::absolute(f, ec));
  p.plot = o.plot.empty() ? fs::path() : fs::absolute(o.plot, ec).lexically_normal();
  p.log = o.log.empty() ? fs::path() : fs::absolute(o.log, ec).lexically_normal();
  return p;
}

// Decode everything first: a bad file is reported before anything plays.
bool decode_all(const std::vector<fs::path>& files, std::vector<decoded_audio>& audio,
                std::string& error) {
  audio.resize(files.size());
  std::error_code ec;
  for (size_t i = 0; i < files.size(); ++i) {
    if (fs::is_directory(files[i], ec)) {
      error = utf8(files[i]) + ": a folder, not an audio file";
      return false;
    }
    if (!decode_audio(utf8(files[i]), audio[i], error)) {
      error = utf8(files[i]) + ": " + error;
      return false;
    }
  }
  return true;
}

double total_seconds(const std::vector<decoded_audio>& audio) {
  double total = 0;
  for (const auto& a : audio) total += static_cast<double>(a.frames) / a.rate;
  return total;
}

}  // namespace fulgora_play
