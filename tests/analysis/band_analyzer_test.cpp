#include "analysis/band_analyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/signals.h"

namespace fulgora {
namespace {

using fulgora_test::sine;

// Interleaved stereo samples as a chunk would hand them over.
bool capture_stereo(band_analyzer& a, const std::vector<audio_sample>& s, unsigned rate) {
  return a.capture_samples(rate, s.size() / 2, s.data()) == capture_result::stored;
}

band_analyzer with_edges(double low, double mid, double high) {
  band_analyzer a;
  a.low_edge = low;
  a.mid_edge = mid;
  a.high_edge = high;
  return a;
}

TEST(band_analyzer, block_length_is_the_largest_power_of_two_run) {
  const struct {
    unsigned frames, block;
    bool taken;
  } cases[] = {{0, 0, false},      {1, 0, false},      {2, 2, true},      {3, 2, true},
               {4095, 2048, true}, {4096, 4096, true}, {4097, 4096, true}};
  for (const auto& c : cases) {
    band_analyzer a;
    const auto samples = sine(1000, 0.5, c.frames, 2, 44100);
    EXPECT_EQ(capture_stereo(a, samples, 44100), c.taken) << c.frames;
    EXPECT_EQ(a.block_length, c.block) << c.frames;
    EXPECT_EQ(a.sample_rate, 44100.0) << "the rate is taken even when no block is";
  }
}

TEST(band_analyzer, capture_narrows_then_mixes_in_single_precision) {
  // Doubles that single precision cannot hold: the 64-bit player's samples.
  const std::vector<double> wide = {0.1, 0.7, -1.0, 0.3, 2.0, 2.0, 1e-9, 1.0 / 3};
  std::vector<float> narrow(wide.begin(), wide.end());
  band_analyzer a, b;
  ASSERT_EQ(a.capture_samples(48000, 4, wide.data()), capture_result::stored);
  ASSERT_EQ(b.capture_samples(48000, 4, narrow.data()), capture_result::stored);
  for (int i = 0; i < 4; ++i) {
    const float expected = (narrow[2 * i + 1] + narrow[2 * i]) * 0.5f;
    EXPECT_EQ(a.samples[2 * i], static_cast<double>(expected)) << i;
    EXPECT_EQ(b.samples[2 * i], a.samples[2 * i]) << "the same block at both widths";
    EXPECT_EQ(a.samples[2 * i + 1], 0.0);
  }
  // A block too large to hold: refused, the previous block kept whole.
  EXPECT_EQ(a.capture_samples(48000, size_t{1} << 31, wide.data()), capture_result::no_room);
  EXPECT_EQ(a.block_length, 4u);
  EXPECT_FALSE(a.fresh);
}

TEST(band_analyzer, worked_example_band_indices) {
  // n = 4096 at 44100 Hz: 500/5000/22000 Hz give bins 46/464/2043.
  // A full-scale tone exactly on bin 45 is in the low band, on 46 in the mid.
  for (const auto& c : {std::pair<int, int>{45, 0}, {46, 1}, {463, 1}, {464, 2}, {2042, 2}}) {
    band_analyzer b = with_edges(500, 5000, 22000);
    const auto tone = sine(c.first * 44100.0 / 4096, 1.0, 4096, 2, 44100);
    ASSERT_TRUE(capture_stereo(b, tone, 44100));
    ASSERT_TRUE(b.analyze());
    EXPECT_NEAR(b.bin_levels[c.first], 1.0, 1e-6) << c.first;
    const double levels[3] = {b.low_level, b.mid_level, b.high_level};
    const double widths[3] = {46, 464 - 46, 2043 - 464};
    for (int band = 0; band < 3; ++band) {
      if (band == c.second)
        EXPECT_GT(levels[band], 0.9 / widths[band]) << "bin " << c.first;
      else
        EXPECT_LT(levels[band], 0.5 / widths[band]) << "bin " << c.first << " band " << band;
    }
  }
}

TEST(band_analyzer, edges_that_do_not_fit_fail_the_analysis) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double low, mid, high;
    unsigned rate;
    bool ok;
  } cases[] = {
      {500, 5000, 22000, 44100, true},
      {500, 5000, 22000, 32000, false},  // 22000 Hz is above half of 32000
      {500, 505, 22000, 44100, false},   // both truncate to bin 46
      {5, 5000, 22000, 44100, false},    // low index 0
      {-1, 5000, 22000, 44100, false},
      {nan, 5000, 22000, 44100, false},
      {500, nan, 22000, 44100, false},
      {500, 5000, 5000, 44100, false},  // high index equals mid
      {500, 300, 22000, 44100, true},   // reversed mid: empty band
      {800, 3000, 22050, 44100, true},  // high index n/2 exactly: the in-memory defaults
  };
  for (const auto& c : cases) {
    band_analyzer a = with_edges(c.low, c.mid, c.high);
    const auto tone = sine(1000, 0.5, 4096, 2, c.rate);
    ASSERT_TRUE(capture_stereo(a, tone, c.rate));
    EXPECT_EQ(a.analyze(), c.ok) << c.low << " " << c.mid << " " << c.high << " @" << c.rate;
  }
  // Reversed mid edge: mid level 0 and the high band starts at the mid index.
  band_analyzer a = with_edges(500, 300, 22000);
  const auto tone = sine(1000, 0.5, 4096, 2, 44100);
  ASSERT_TRUE(capture_stereo(a, tone, 44100));
  ASSERT_TRUE(a.analyze());
  EXPECT_EQ(a.mid_level, 0.0);
  const int m = static_cast<int>(300 * 4096 / 44100.0);
  double sum = 0;
  for (int i = m; i < 2043; ++i) sum += a.bin_levels[i];
  EXPECT_DOUBLE_EQ(a.high_level, sum / (2043 - m));
}

TEST(band_analyzer, a_spent_block_never_yields_levels) {
  band_analyzer a = with_edges(500, 5000, 22000);
  EXPECT_FALSE(a.analyze()) << "nothing captured yet";
  const auto tone = sine(1000, 0.5, 4096, 2, 44100);
  ASSERT_TRUE(capture_stereo(a, tone, 44100));
  ASSERT_TRUE(a.analyze());
  EXPECT_FALSE(a.analyze()) << "already analysed";
  const auto one = sine(1000, 0.5, 1, 2, 44100);
  ASSERT_TRUE(capture_stereo(a, tone, 44100));
  EXPECT_FALSE(capture_stereo(a, one, 44100));
  EXPECT_FALSE(a.analyze()) << "the last capture took nothing";
}

TEST(band_analyzer, rate_change_reallocates_and_gives_the_same_levels) {
  const auto tone = sine(1000, 0.5, 4096, 2, 44100);
  band_analyzer a = with_edges(500, 5000, 20000);
  ASSERT_TRUE(capture_stereo(a, tone, 44100));
  ASSERT_TRUE(a.analyze());
  const std::vector<double> before(a.bin_levels.get(), a.bin_levels.get() + 2048);
  ASSERT_TRUE(capture_stereo(a, tone, 48000));
  EXPECT_EQ(a.work[0], 0) << "tables must be rebuilt";
  ASSERT_TRUE(a.analyze());
  for (int i = 0; i < 2048; ++i) ASSERT_EQ(a.bin_levels[i], before[i]) << i;
}

TEST(band_analyzer, silence_and_nan) {
  std::vector<audio_sample> quiet(2 * 1024, 0.0f);
  band_analyzer a = with_edges(500, 5000, 20000);
  ASSERT_TRUE(capture_stereo(a, quiet, 44100));
  ASSERT_TRUE(a.analyze());
  for (int i = 0; i < 512; ++i) ASSERT_EQ(a.bin_levels[i], 0.0);

  quiet[10] = std::numeric_limits<float>::quiet_NaN();
  ASSERT_TRUE(capture_stereo(a, quiet, 44100));
  ASSERT_TRUE(a.analyze());
  EXPECT_TRUE(std::isnan(a.low_level));
  EXPECT_TRUE(std::isnan(a.mid_level));
  EXPECT_TRUE(std::isnan(a.high_level));
}

}  // namespace
}  // namespace fulgora
