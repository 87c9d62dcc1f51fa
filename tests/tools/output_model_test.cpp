#include "tools/play/output_model.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tools/play/player_host.h"

namespace fulgora_play {
namespace {

// The published sync figures rest on where the model says the listener is.
TEST(output_model, heard_position_through_burst_pause_underrun_and_seek) {
  output_model m(1.0);
  EXPECT_TRUE(m.wants_more(0.0));
  m.write(0.2, 0.5);  // playing starts here, not at 0
  m.write(0.2, 0.5);
  EXPECT_FALSE(m.wants_more(0.2)) << "the burst fills the buffer";
  EXPECT_TRUE(m.wants_more(0.6));
  m.write(0.6, 0.4);
  m.pause(0.8);
  m.resume(1.8);
  EXPECT_FALSE(m.drained(2.5));
  EXPECT_TRUE(m.drained(2.7)) << "all 1.4 s written heard by 2.6";
  m.write(3.2, 0.5);  // after running dry, heard goes on from where it stopped
  m.seek(3.5, 10.0);
  EXPECT_DOUBLE_EQ(m.heard_clock(3.5), 0.0);
  EXPECT_TRUE(m.wants_more(3.5)) << "a seek empties the buffer";
  m.write(3.5, 2.0);
  EXPECT_FALSE(m.wants_more(3.5));
  EXPECT_NEAR(m.heard_clock(4.0), 0.5, 1e-9);
  const struct {
    double at, heard;
  } heard[] = {
      {0.1, 0.0}, {0.6, 0.4}, {1.4, 0.6}, {2.0, 0.8}, {3.2, 1.4}, {3.4, 1.6}, {4.0, 10.5},
  };
  for (const auto& h : heard) EXPECT_NEAR(m.heard_position(h.at), h.heard, 1e-9) << h.at;
}

// An output that reports its position per write: the clock holds each step.
TEST(output_model, playback_clock_steps) {
  output_model m(1.0);
  m.write(0.0, 100.0);
  playback_clock clock;
  clock.output = &m;
  // 5.4 s into playback; the checks allow 0.6 s for a busy machine.
  clock.start = std::chrono::steady_clock::now() - std::chrono::milliseconds(5400);
  double smooth = 0, stepped = 0;
  ASSERT_TRUE(clock.get_absolute_time(smooth));
  clock.step_s = 1.0;
  ASSERT_TRUE(clock.get_absolute_time(stepped));
  EXPECT_GE(smooth, 5.4);
  EXPECT_LT(smooth, 6.0);
  EXPECT_DOUBLE_EQ(stepped, 5.0);
}

}  // namespace
}  // namespace fulgora_play
