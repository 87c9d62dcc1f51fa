#include "analysis/shaping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analysis/level_history.h"

namespace fulgora {
namespace {

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

TEST(shape_band, worked_examples_and_limits) {
  const struct {
    double level, ratio;
    float gamma;
    int byte;
  } cases[] = {
      {0.5, 1, 1, 127},
      {0.5, 1, 0.5f, 63},
      {0.5, 1, 2, 180},
      {1.0, 0.8, 1, 204},
      {1.0, 0.9, 0.6f, 213},
      {1.2, 1, 1, 255},
      {inf, 1, 1, 255},
      {nan, 1, 1, 0},
      {0.0, 1, 3, 0},
      {1.0, 1, 0.3f, 255},
      {1.0, 1, 7, 255},
      {0.0, 0, 1, 0},
      {0.7, 0, 2, 0},
      // Gamma 0: exponent +inf; below 1 goes dark, 1 and above full.
      {0.99, 1, 0, 0},
      {1.0, 1, 0, 255},
      {1.5, 1, 0, 255},
      // Below zero is dark, never a wrapped byte such as 231.
      {-0.1, 1, 1, 0},
      {-0.5, 1, 1, 0},
      {0.5, -1, 1, 0},
      {-0.5, 1, 0.5f, 63},  // even exponent: a positive result
      {-0.5, 1, 0.3f, 0},   // non-integral exponent: NaN
  };
  for (const auto& c : cases)
    EXPECT_EQ(shape_band(c.level, c.ratio, c.gamma), c.byte)
        << c.level << " x" << c.ratio << " ^1/" << c.gamma;
}

shaping_params plain(int low_ch, int mid_ch, int high_ch) {
  shaping_params p;
  p.low.channel = low_ch;
  p.mid.channel = mid_ch;
  p.high.channel = high_ch;
  return p;
}

TEST(shape_levels, routing_later_band_wins_and_unrouted_channels_keep_their_byte) {
  level_history history;
  uint8_t ch[3] = {7, 8, 9};
  shape_levels({0.5, 1.0, 0.2}, plain(0, 1, 2), history, ch);
  EXPECT_EQ(ch[0], 127);
  EXPECT_EQ(ch[1], 255);
  EXPECT_EQ(ch[2], 51);

  uint8_t shared[3] = {7, 8, 9};
  shape_levels({0.5, 1.0, 0.2}, plain(0, 1, 0), history, shared);
  EXPECT_EQ(shared[0], 51) << "high over low";
  EXPECT_EQ(shared[1], 255);
  EXPECT_EQ(shared[2], 9) << "no band names channel 2";

  uint8_t nowhere[3] = {7, 8, 9};
  shape_levels({0.5, 1.0, 0.2}, plain(3, -1, 2), history, nowhere);
  EXPECT_EQ(nowhere[0], 7);
  EXPECT_EQ(nowhere[1], 8);
  EXPECT_EQ(nowhere[2], 51);
  EXPECT_EQ(history.write_position, 0) << "enhancer off leaves the history alone";
}

TEST(shape_levels, enhancer_against_the_history_mean) {
  shaping_params p = plain(0, 1, 2);
  p.enhancer = true;
  p.low.enhance = 0.5;
  p.mid.enhance = 1.0;
  p.high.enhance = 0.0;
  level_history history;
  history.resize(2);
  uint8_t ch[3] = {};
  // First cycle: mean 0, so each level is scaled by 1 + factor.
  shape_levels({0.4, 0.3, 0.5}, p, history, ch);
  EXPECT_EQ(ch[0], shape_band(0.6, 1, 1));
  EXPECT_EQ(ch[1], shape_band(0.6, 1, 1));
  EXPECT_EQ(ch[2], shape_band(0.5, 1, 1));
  // Second: mean is the first cycle's raw levels (0.4 for low): 0.6 -> 0.7.
  shape_levels({0.6, 0.3, 0.5}, p, history, ch);
  EXPECT_EQ(ch[0], shape_band(0.6 + (0.6 - 0.4) * 0.5, 1, 1));
  EXPECT_EQ(ch[1], shape_band(0.3, 1, 1));
  EXPECT_TRUE(history.full);
  EXPECT_DOUBLE_EQ(history.mean().low, 0.5) << "raw levels enter the history";

  // A level far under the mean must not wrap to a bright byte.
  shape_levels({0.0, 0.0, 0.0}, p, history, ch);
  EXPECT_EQ(ch[0], 0);
  EXPECT_EQ(ch[1], 0);
}

TEST(level_history, mean_over_what_was_written_then_a_ring) {
  level_history h;
  band_levels m = h.mean();
  EXPECT_EQ(m.low + m.mid + m.high, 0.0);
  for (int i = 1; i <= 3; ++i) h.push({double(i), 2.0 * i, 0});
  EXPECT_DOUBLE_EQ(h.mean().low, 2.0);
  EXPECT_DOUBLE_EQ(h.mean().mid, 4.0);
  for (int i = 4; i <= 8; ++i) h.push({double(i), 0, 0});
  EXPECT_TRUE(h.full);
  EXPECT_DOUBLE_EQ(h.mean().low, 4.5);
  h.push({100, 0, 0});  // overwrites entry 0 (was 1)
  EXPECT_EQ(h.entries[0].low, 100.0);
  EXPECT_DOUBLE_EQ(h.mean().low, (36 - 1 + 100) / 8.0);

  // A level that is not finite stays out: it would darken a whole ring.
  for (const band_levels bad :
       {band_levels{nan, 0, 0}, band_levels{0, inf, 0}, band_levels{0, 0, -inf}}) {
    h.push(bad);
    EXPECT_EQ(h.entries[0].low, 100.0) << "not written";
    EXPECT_DOUBLE_EQ(h.mean().low, (36 - 1 + 100) / 8.0);
  }
  for (int i = 0; i < 8; ++i) h.push({1, 0, 0});
  EXPECT_EQ(h.mean().low, 1.0);

  h.resize(16);
  EXPECT_EQ(h.mean().low, 0.0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(h.entries[i].high, 0.0);
}

TEST(level_history, zero_gives_one_entry_negative_keeps_the_old_ring) {
  level_history h;
  EXPECT_FALSE(h.resize(-1));
  EXPECT_EQ(h.capacity, 8) << "kept";
  for (int count : {1, 0}) {
    ASSERT_TRUE(h.resize(count));
    EXPECT_EQ(h.capacity, 1) << count;
    h.push({0.25, 0, 0});
    EXPECT_EQ(h.mean().low, 0.25);
    h.push({0.75, 0, 0});
    EXPECT_EQ(h.mean().low, 0.75) << "the mean is always the last value";
    EXPECT_EQ(h.write_position, 0);
  }
}

}  // namespace
}  // namespace fulgora
