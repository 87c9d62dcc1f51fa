// The WAV reader on any bytes: an answer, never a crash or an endless walk;
// what it decodes fits in what the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/play/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fulgora_play::decoded_audio audio;
  std::string error;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (fulgora_play::decode_wav(bytes, audio, error)) {
    if (audio.channels == 0 || audio.samples.size() != audio.frames * audio.channels ||
        audio.samples.size() > size)
      std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
