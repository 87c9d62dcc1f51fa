// Test signals as the player would hand them over.
#pragma once

#include <cmath>
#include <vector>

#include "host/audio_chunk.h"

namespace fulgora_test {

constexpr double pi = 3.14159265358979323846;

// Interleaved frames of a sine of the given amplitude on every channel.
inline std::vector<audio_sample> sine(double hz, double amplitude, unsigned frames,
                                      unsigned channels, unsigned rate) {
  std::vector<audio_sample> out(static_cast<size_t>(frames) * channels);
  for (unsigned i = 0; i < frames; ++i)
    for (unsigned c = 0; c < channels; ++c)
      out[static_cast<size_t>(i) * channels + c] =
          static_cast<audio_sample>(amplitude * std::sin(2 * pi * hz * i / rate));
  return out;
}

inline audio_chunk_impl chunk_of(const std::vector<audio_sample>& samples, unsigned channels,
                                 unsigned rate) {
  return audio_chunk_impl(samples.data(), static_cast<unsigned>(samples.size() / channels),
                          channels, rate);
}

// The player runs the chain: a first chunk (silence) passes the DSP.
template <typename engine>
void runs(engine& e) {
  const std::vector<audio_sample> silence(2 * 64, 0.0f);
  e.offer_chunk(audio_chunk_impl(silence.data(), 64, 2, 44100));
}

}  // namespace fulgora_test
