// What the stand-in plays: the paths of the command line, resolved before
// the working folder changes, and the audio files decoded up front so that a
// bad one is reported before anything plays.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/play/decoder.h"
#include "tools/play/options.h"

namespace fulgora_play {

std::string utf8(const std::filesystem::path& p);

struct run_paths {
  std::filesystem::path self, component, plot, log;
  std::vector<std::filesystem::path> files;
};

// argv0 locates the component's default place: beside this tool.
run_paths resolve_paths(const char* argv0, const options& o);

// False with "FILE: reason" at the first file that cannot be decoded.
bool decode_all(const std::vector<std::filesystem::path>& files, std::vector<decoded_audio>& audio,
                std::string& error);

// The files' length as one stream.
double total_seconds(const std::vector<decoded_audio>& audio);

}  // namespace fulgora_play
