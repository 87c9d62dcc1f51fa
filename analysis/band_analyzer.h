// Turns one block of stereo audio into three band levels.
//
// capture() runs on the player's audio thread, analyze() on the worker; the
// engine's idle/data-ready events make the two strictly alternate, so the
// record needs no lock. capture() allocates only when the block length or the
// sample rate changes; analyze() never allocates.
#pragma once

#include <cstdint>
#include <memory>

#include "host/audio_chunk.h"

namespace fulgora {

struct band_analyzer {
  uint32_t block_length = 0;  // n, complex points; 0 before the first capture
  int32_t data_length = 0;    // 2n doubles
  double low_edge = 800.0;    // upper edges of the bands, Hz
  double mid_edge = 3000.0;
  double high_edge = 22050.0;
  double sample_rate = 0.0;
  std::unique_ptr<double[]> samples;     // 2n: re, im pairs
  std::unique_ptr<int32_t[]> work;       // 2 + floor(sqrt(2n)) ints
  std::unique_ptr<double[]> table;       // n doubles
  std::unique_ptr<double[]> bin_levels;  // n/2 levels
  double low_level = 0.0;
  double mid_level = 0.0;
  double high_level = 0.0;
  // Set by a capture that stored a block, cleared once that block has been
  // transformed: the buffer then holds a spectrum, not samples.
  bool fresh = false;

  band_analyzer() = default;
  band_analyzer(band_analyzer&&) = default;
  band_analyzer(const band_analyzer&) = delete;
  band_analyzer& operator=(const band_analyzer&) = delete;
  ~band_analyzer();

  // Copies the first power-of-two run of frames of a 2-channel chunk as a
  // mono block. False when the chunk has fewer than 2 frames.
  // Throws std::bad_alloc when new buffers cannot be had; the analyser then
  // keeps its previous block.
  bool capture(const audio_chunk& chunk);

  // Transforms the fresh block and forms the three band levels. False when no
  // fresh block is there or the band edges do not fit the spectrum.
  bool analyze();
};

// Largest power of two not above frames (frames >= 2).
uint32_t block_length_for(uint32_t frames);

}  // namespace fulgora
