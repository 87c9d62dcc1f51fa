// Decodes an audio file into the player's samples (floats in the 32-bit
// player, doubles in the 64-bit one), interleaved by channel, as the player's
// decoders hand them to the DSP chain.
#pragma once

#include <string>
#include <vector>

#include "host/audio_chunk.h"

namespace fulgora_play {

struct decoded_audio {
  std::vector<audio_sample> samples;
  unsigned channels = 0;
  unsigned rate = 0;
  size_t frames = 0;
};

// False with a one-line reason when the file cannot be decoded.
bool decode_audio(const std::string& path, decoded_audio& out, std::string& error);

// The WAV reader used where no audio library is at hand: PCM 8/16/24/32-bit
// and IEEE float 32/64-bit, plain or WAVE_FORMAT_EXTENSIBLE.
bool decode_wav(const std::string& bytes, decoded_audio& out, std::string& error);

}  // namespace fulgora_play
