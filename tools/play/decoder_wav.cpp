#include <fstream>
#include <iterator>

#include "tools/play/decoder.h"

namespace fulgora_play {

bool decode_audio(const std::string& path, decoded_audio& out, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open the file";
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return decode_wav(bytes, out, error);
}

}  // namespace fulgora_play
