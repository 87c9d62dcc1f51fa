#include <cstdint>
#include <cstring>

#include "tools/play/decoder.h"

namespace fulgora_play {
namespace {

uint32_t u32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
uint16_t u16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// What the header says and where the samples are.
struct wav_layout {
  unsigned format = 0, channels = 0, bits = 0, rate = 0;
  const unsigned char* data = nullptr;
  size_t data_size = 0;
};

wav_layout read_chunks(const unsigned char* p, size_t n) {
  wav_layout w;
  for (size_t at = 12; n - at >= 8;) {
    const uint32_t size = u32(p + at + 4);
    const unsigned char* body = p + at + 8;
    const size_t available = n - at - 8;
    if (std::memcmp(p + at, "fmt ", 4) == 0 && size >= 16 && available >= 16) {
      w.format = u16(body);
      w.channels = u16(body + 2);
      w.rate = u32(body + 4);
      w.bits = u16(body + 14);
      if (w.format == 0xfffe && size >= 40 && available >= 40) w.format = u16(body + 24);
    } else if (std::memcmp(p + at, "data", 4) == 0) {
      w.data = body;
      w.data_size = size < available ? size : available;  // a truncated file keeps what it has
    }
    // Sizes are checked against what is left before they move the position:
    // a claimed size near 4 GiB would wrap a 32-bit size_t back to here.
    if (size >= available) break;
    at += 8 + size;
    if (size & 1) ++at;  // at <= n still: size < available
  }
  return w;
}

double sample_at(const unsigned char* s, bool real, unsigned bits) {
  double v = 0;
  if (real && bits == 32) {
    float f;
    std::memcpy(&f, s, 4);
    v = f;
  } else if (real) {
    std::memcpy(&v, s, 8);
  } else if (bits == 8) {
    v = (s[0] - 128) / 128.0;
  } else if (bits == 16) {
    v = static_cast<int16_t>(u16(s)) / 32768.0;
  } else if (bits == 24) {
    // Into the top three bytes, then an arithmetic shift keeps the sign.
    const int32_t x =
        static_cast<int32_t>(uint32_t{s[0]} << 8 | uint32_t{s[1]} << 16 | uint32_t{s[2]} << 24) >>
        8;
    v = x / 8388608.0;
  } else {
    v = static_cast<int32_t>(u32(s)) / 2147483648.0;
  }
  return v;
}

}  // namespace

bool decode_wav(const std::string& bytes, decoded_audio& out, std::string& error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) {
    error = "not a WAV file (only WAV is decoded in this build)";
    return false;
  }
  const wav_layout w = read_chunks(p, n);
  const bool pcm = w.format == 1 && (w.bits == 8 || w.bits == 16 || w.bits == 24 || w.bits == 32);
  const bool real = w.format == 3 && (w.bits == 32 || w.bits == 64);
  if (!w.data || w.channels == 0 || w.rate == 0 || (!pcm && !real)) {
    error = "unsupported WAV format (format " + std::to_string(w.format) + ", " +
            std::to_string(w.bits) + " bits)";
    return false;
  }
  const size_t width = w.bits / 8;
  out.channels = w.channels;
  out.rate = w.rate;
  out.frames = w.data_size / (width * w.channels);
  out.samples.resize(out.frames * w.channels);
  for (size_t i = 0; i < out.samples.size(); ++i)
    out.samples[i] = static_cast<audio_sample>(sample_at(w.data + i * width, real, w.bits));
  return true;
}

}  // namespace fulgora_play
