#include "tools/play/output_model.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "host/service_lookup.h"
#include "host/visualisation.h"
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

// A chunk as the component's: it notes the order of the calls that fill it.
class noting_chunk final : public audio_chunk_impl {
 public:
  void set_data_size(size_t size) override {
    calls += "size ";
    audio_chunk_impl::set_data_size(size);
  }
  void set_srate(unsigned rate) override {
    calls += "rate ";
    audio_chunk_impl::set_srate(rate);
  }
  void set_channels(unsigned count, unsigned config) override {
    calls += "channels ";
    audio_chunk_impl::set_channels(count, config);
  }
  void set_sample_count(size_t frames) override {
    calls += "count ";
    audio_chunk_impl::set_sample_count(frames);
  }
  std::string calls;
};

// Ten chunks of 100 stereo frames at 1 kHz, each frame's samples its place
// on the time line in ms, chunk k written at the stand-in's time k / 10.
void write_second(played_audio& p, double clock = 0) {
  for (int k = 0; k < 10; ++k) {
    std::vector<audio_sample> s(200);
    for (int i = 0; i < 200; ++i) s[i] = audio_sample(100 * k + i / 2);
    p.write(audio_chunk_impl(s.data(), 100, 2, 1000), k / 10.0, clock);
  }
}

// What the component reads as the played audio: the right frames at the
// right place, and nothing where the player would have none.
TEST(played_audio, serves_the_time_line_and_each_fault) {
  played_faults none, backlog, ahead, late, drop, half;
  backlog.backlog_s = 0.05;
  ahead.no_lookahead = true;
  late.late_start_s = 0.3;
  drop.drop_every_s = 0.25;
  drop.drop_span_s = 0.05;
  half.short_chunks = true;
  const struct {
    const char* what;
    const played_faults& faults;
    double offset, length, clock, opened, now;
    long first, frames;  // first -1: false
  } cases[] = {
      {"across two chunks", none, 0.25, 0.1, 0, 0, 1, 250, 100},
      {"ahead of the clock, up to what was written", none, 0.9, 0.2, 0.1, 0, 1, 900, 100},
      {"past what was written", none, 1.0, 0.1, 0.5, 0, 1, -1, 0},
      {"before the start", none, -0.1, 0.05, 0, 0, 1, -1, 0},
      {"a few seconds behind", none, 0.0, 0.1, 4.0, 0, 5, 0, 100},
      {"behind the short backlog", backlog, 0.5, 0.1, 0.6, 0, 1, -1, 0},
      {"within the short backlog", backlog, 0.56, 0.1, 0.6, 0, 1, 560, 100},
      {"no look-ahead: up to the clock", ahead, 0.5, 0.2, 0.55, 0, 1, 500, 50},
      {"no look-ahead: past the clock", ahead, 0.6, 0.1, 0.55, 0, 1, -1, 0},
      {"late start: too soon", late, 0.6, 0.1, 0, 0.25, 0.5, -1, 0},
      {"late start: written before it", late, 0.5, 0.1, 0, 0.25, 0.6, -1, 0},
      {"late start: written after it", late, 0.6, 0.1, 0, 0.25, 0.6, 600, 100},
      {"in a dropped span", drop, 0.21, 0.1, 0, 0, 1, -1, 0},
      {"up to a dropped span", drop, 0.1, 0.2, 0, 0, 1, 100, 100},
      {"after a dropped span", drop, 0.25, 0.1, 0, 0, 1, 250, 100},
      {"half as long as asked", half, 0.0, 0.1, 0, 0, 1, 0, 50},
  };
  for (const auto& c : cases) {
    played_audio p(c.faults);
    write_second(p);
    noting_chunk out;
    const bool served = p.serve(out, c.offset, c.length, c.clock, c.opened, c.now);
    ASSERT_EQ(served, c.first >= 0) << c.what;
    if (!served) {
      EXPECT_EQ(out.calls, "") << c.what;
      continue;
    }
    EXPECT_EQ(out.calls, "size count rate channels ") << c.what;
    EXPECT_EQ(out.get_srate(), 1000u);
    ASSERT_EQ(out.get_channels(), 2u);
    EXPECT_EQ(out.get_channel_config(), 3u) << "front left and right";
    ASSERT_EQ(out.get_sample_count(), static_cast<size_t>(c.frames)) << c.what;
    long wrong = 0;
    for (long i = 0; i < c.frames; ++i)
      wrong += out.get_data()[2 * i] != audio_sample(c.first + i) ||
               out.get_data()[2 * i + 1] != audio_sample(c.first + i);
    EXPECT_EQ(wrong, 0) << c.what;
  }

  // A change of format ends a window; a seek starts the time line again;
  // what falls a backlog behind the clock goes.
  played_audio p;
  write_second(p);
  const audio_sample mono[100] = {};
  p.write(audio_chunk_impl(mono, 100, 1, 2000), 1.0, 0);
  audio_chunk_impl out;
  ASSERT_TRUE(p.serve(out, 0.95, 0.1, 0, 0, 1));
  EXPECT_EQ(out.get_sample_count(), 50u);
  ASSERT_TRUE(p.serve(out, 1.0, 0.1, 0, 0, 1));
  EXPECT_EQ(out.get_srate(), 2000u);
  EXPECT_EQ(out.get_channels(), 1u);
  EXPECT_EQ(out.get_channel_config(), 4u) << "front centre";
  EXPECT_EQ(out.get_sample_count(), 100u);
  p.write(audio_chunk_impl(mono, 100, 1, 2000), 1.0, 7.0);
  EXPECT_FALSE(p.serve(out, 0.0, 0.1, 4.0, 0, 1)) << "written more than 5 s behind: gone";
  p.restart();
  EXPECT_FALSE(p.serve(out, 0.0, 0.1, 0, 0, 1)) << "nothing after a seek yet";
  write_second(p);
  ASSERT_TRUE(p.serve(out, 0.0, 0.1, 0, 0, 1));
  EXPECT_EQ(out.get_data()[0], audio_sample(0));
}

// A chunk whose filling waits until `go`.
class waiting_chunk final : public audio_chunk_impl {
 public:
  void set_data_size(size_t size) override {
    entered = true;
    while (!go) std::this_thread::yield();
    audio_chunk_impl::set_data_size(size);
  }
  std::atomic<bool> entered{false}, go{false};
};

// The component finds the played audio through the player's services: each
// stream its own, alive while held, serving the clock's time line; the
// fake-data calls throw as the player's do.
TEST(played_audio, through_the_visualisation_manager) {
  output_model m(1.0);
  m.write(0.0, 100.0);
  played_audio played;
  write_second(played);
  player_services services;
  services.clock.output = &m;
  services.clock.played = &played;
  services.clock.start = std::chrono::steady_clock::now();
  fulgora::g_foobar2000_api = &services;
  fulgora::g_services_available = true;
  service_ptr_t<visualisation_stream> a, b;
  const bool opened = fulgora::open_playback_clock(a) && fulgora::open_playback_clock(b);
  fulgora::g_foobar2000_api = nullptr;
  fulgora::g_services_available = false;
  ASSERT_TRUE(opened);
  EXPECT_NE(a.get(), b.get());
  audio_chunk_impl out;
  ASSERT_TRUE(a->get_chunk_absolute(out, 0.5, 0.01));
  EXPECT_EQ(out.get_sample_count(), 10u);
  EXPECT_EQ(out.get_data()[0], audio_sample(500));
  EXPECT_FALSE(b->get_chunk_absolute(out, 2.0, 0.01)) << "not written";
  EXPECT_THROW(a->make_fake_chunk_absolute(out, 0.5, 0.01), std::exception);
  EXPECT_THROW(a->make_fake_spectrum_absolute(out, 0.5, 1024), std::exception);
  a.release();
  double clock = -1;
  EXPECT_TRUE(b->get_absolute_time(clock)) << "the other stream lives on";
  EXPECT_GE(clock, 0.0);

  // A call that comes while another is still filling its chunk is counted.
  waiting_chunk slow;
  std::thread worker([&] { b->get_chunk_absolute(slow, 0.5, 0.01); });
  for (const auto start = std::chrono::steady_clock::now();
       !slow.entered && std::chrono::steady_clock::now() - start < std::chrono::seconds(60);)
    std::this_thread::yield();
  b->get_absolute_time(clock);
  slow.go = true;
  worker.join();
  b->get_absolute_time(clock);
  EXPECT_EQ(static_cast<played_stream*>(b.get())->overlaps(), 1);
}

// Two workers read while the main thread writes and seeks: every window
// served is whole, in place and of one time line.
TEST(played_audio, serves_two_readers_while_written) {
  played_audio p;
  std::atomic<bool> done{false};
  std::atomic<long> served{0}, wrong{0};
  auto reader = [&](double step) {
    audio_chunk_impl out;
    for (double at = 0; !done; at = at > 0.9 ? 0 : at + step) {
      if (!p.serve(out, at, 0.05, 0, 0, 1)) continue;
      ++served;
      const long first = std::lround(at * 1000);
      for (size_t i = 0; i < out.get_sample_count(); ++i)
        wrong += out.get_data()[2 * i] != audio_sample(first + static_cast<long>(i));
    }
  };
  std::thread a(reader, 0.013), b(reader, 0.029);
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < 200 || (served < 1000 && std::chrono::steady_clock::now() - start <
                                                         std::chrono::seconds(60));
       ++pass) {
    p.restart();
    write_second(p);
  }
  done = true;
  a.join();
  b.join();
  EXPECT_GE(served, 1000);
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace fulgora_play
