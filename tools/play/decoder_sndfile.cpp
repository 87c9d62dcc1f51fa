#include <sndfile.h>

#include "tools/play/decoder.h"

namespace fulgora_play {
namespace {

inline sf_count_t read_frames(SNDFILE* file, float* out, sf_count_t frames) {
  return sf_readf_float(file, out, frames);
}
inline sf_count_t read_frames(SNDFILE* file, double* out, sf_count_t frames) {
  return sf_readf_double(file, out, frames);
}

}  // namespace

bool decode_audio(const std::string& path, decoded_audio& out, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    error = sf_strerror(nullptr);
    return false;
  }
  out.channels = static_cast<unsigned>(info.channels);
  out.rate = static_cast<unsigned>(info.samplerate);
  out.samples.resize(static_cast<size_t>(info.frames) * out.channels);
  const sf_count_t got = read_frames(file, out.samples.data(), info.frames);
  out.frames = got > 0 ? static_cast<size_t>(got) : 0;
  out.samples.resize(out.frames * out.channels);
  const int status = sf_error(file);
  sf_close(file);
  if (status != SF_ERR_NO_ERROR) {
    error = sf_error_number(status);
    return false;
  }
  return true;
}

}  // namespace fulgora_play
