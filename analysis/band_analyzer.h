// Turns one block of stereo audio into three band levels.
//
// capture() runs on the player's audio thread, analyze() on the worker; the
// engine's idle/data-ready events make the two strictly alternate, so the
// record needs no lock. capture() allocates only when the block length or the
// sample rate changes; analyze() never allocates. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace fulgora {

enum class capture_result { stored, too_short, no_room };

// Why analyze() gave no levels; the edges are those of the failed call.
enum class analysis_fault {
  none,
  no_block,       // no fresh block captured
  out_of_range,   // an edge beyond half the rate, negative or not a number
  below_one_bin,  // the low edge truncates to bin 0
  same_bin,       // an edge truncates to the previous edge's bin
};

// The one mono mix of a stereo frame: each channel narrowed to single
// precision first, so that float and double samples of the same audio mix
// alike (the capture and the sync ring both use it).
template <typename sample>
inline float mono_of(const sample* frame) {
  return (static_cast<float>(frame[1]) + static_cast<float>(frame[0])) * 0.5f;
}

struct band_analyzer {
  uint32_t block_length = 0;  // n, complex points; 0 before the first capture
  int32_t data_length = 0;    // 2n doubles
  // Upper edges of the bands, Hz: the owner sets them before every analysis.
  double low_edge = 0.0;
  double mid_edge = 0.0;
  double high_edge = 0.0;
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
  analysis_fault fault = analysis_fault::none;
  int fault_edge = 0;  // the edge at fault: 0 low, 1 mid, 2 high
  // The longest block analysed so far: a short last chunk's block has wider
  // bins, and its below_one_bin or same_bin is no mistake of the settings
  // unless this length shows it too.
  uint32_t longest_block = 0;

  band_analyzer() = default;
  band_analyzer(band_analyzer&&) = default;
  band_analyzer(const band_analyzer&) = delete;
  band_analyzer& operator=(const band_analyzer&) = delete;
  ~band_analyzer();

  // Copies the first power-of-two run of frames of a 2-channel chunk as a
  // mono block, each sample narrowed to single precision first, so that float
  // and double samples of the same audio give the same block. Without room
  // for a new block (its buffers cannot be had or sized) the analyser keeps
  // its previous block whole.
  template <typename sample>
  capture_result capture_samples(unsigned srate, size_t frames, const sample* data);
  // A block of n mono samples (n a power of two, at least 2) that are
  // already mixed as capture mixes them: `before` zeros, then the two runs
  // of a ring (second may be empty). Allocates only when n or the rate
  // changes; no_room when it cannot.
  capture_result load_mono(unsigned srate, uint32_t n, size_t before, const float* first,
                           size_t first_count, const float* second);

  // Transforms the fresh block and forms the three band levels. False when no
  // fresh block is there or the band edges do not fit the spectrum.
  bool analyze();

 private:
  bool failed(analysis_fault why, int edge);  // records why; returns false
};

// Largest power of two not above frames (frames >= 2).
uint32_t block_length_for(uint32_t frames);

}  // namespace fulgora
