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

// A sound card's reports: the model (and with it the boards' log) follows the
// card where it strays, the player's clock reads the card while there is one.
class reporting_card final : public sound_output {
 public:
  bool wants_more() override { return true; }
  bool write(const audio_sample*, size_t) override { return true; }
  void pause(bool) override {}
  void flush() override {}
  void finish() override {}
  bool drained() override { return true; }
  double heard_clock() override { return heard; }
  std::string device() const override { return "test"; }
  double heard = 0;
};

TEST(output_model, follows_a_sound_card) {
  output_model m(1.0);
  m.write(0.0, 2.0);
  const struct {
    double now, card;  // the card's report at now
  } reports[] = {
      {0.3, 0.0},     // the card has not started yet: the model stands with it
      {0.5, 0.2},     // started at 0.3
      {0.9, 0.6004},  // within a millisecond: the model goes on as it was
      {1.5, 1.1},     // the card fell 0.1 s behind (an underrun in the server)
  };
  for (const auto& r : reports) m.follow(r.now, r.card);
  const struct {
    double at, heard;
  } heard[] = {{0.3, 0.0}, {0.4, 0.1}, {0.9, 0.6}, {1.4, 1.1}, {1.5, 1.1}, {1.7, 1.3}, {2.0, 1.6}};
  for (const auto& h : heard) EXPECT_NEAR(m.heard_position(h.at), h.heard, 1e-9) << h.at;

  reporting_card card;
  card.heard = 7.25;
  playback_clock clock;
  clock.output = &m;
  clock.start = std::chrono::steady_clock::now();
  clock.sound = &card;
  double value = 0;
  ASSERT_TRUE(clock.get_absolute_time(value));
  EXPECT_DOUBLE_EQ(value, 7.25);
  clock.sound = nullptr;  // the card stopped answering: the model's clock again
  ASSERT_TRUE(clock.get_absolute_time(value));
  EXPECT_DOUBLE_EQ(value, 1.1);  // the last report, the model not yet past it
}

}  // namespace
}  // namespace fulgora_play
