// Sync mode at a rate: the clock model, and the played stream measured on the
// clock's time line whatever the player serves.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/led_engine.h"
#include "engine/sync/heard_clock.h"
#include "engine/sync/sync_mode.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::eventually;
using fulgora_test::fake_clock;
using fulgora_test::fake_port;
using fulgora_test::fake_services;
using fulgora_test::pi;
using fulgora_test::settings_of;

TEST(heard_clock, follows_a_stepped_jittery_clock_through_pause_and_seek) {
  struct row {
    double step_s, late_s;  // the clock's steps; readings up to this late
  };
  for (const row r : {row{0.0, 0.0}, row{0.020, 0.0}, row{0.020, 0.003}, row{0.040, 0.005}}) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> gap(0.004, 0.017), late(0.0, r.late_s);
    heard_clock model;
    // Heard position: plays from 1 s, pauses at 4 s for 1 s, seeks to 0 at 7 s.
    auto truth = [](double t) {
      if (t < 1.0) return 0.0;
      if (t < 4.0) return t - 1.0;
      if (t < 5.0) return 3.0;
      if (t < 7.0) return t - 2.0;
      return t - 7.0;
    };
    auto reading = [&](double t) {
      const double v = truth(t - late(rng));
      return r.step_s > 0 ? std::floor(v / r.step_s) * r.step_s : v;
    };
    double worst_playing = 0.0, worst_back = 0.0, last = 0.0, paused_past = 0.0, overrun = 0.0;
    for (double t = 0.0; t < 9.0; t += gap(rng)) {
      model.reading(reading(t), t);
      double heard = 0.0;
      ASSERT_TRUE(model.position(t, heard));
      const bool settled = (t > 1.5 && t < 4.0) || (t > 5.5 && t < 7.0) || t > 7.5;
      if (settled) worst_playing = std::max(worst_playing, std::fabs(heard - truth(t)));
      // Falls back only once a pause or a seek shows.
      if (t > 1.5 && !(t > 4.0 && t < 4.3) && !(t > 6.9 && t < 7.5))
        worst_back = std::max(worst_back, last - heard);
      if (t > 4.0 && t < 4.3) overrun = std::max(overrun, heard - 3.0);
      if (t > 4.3 && t < 5.0) paused_past = std::max(paused_past, heard - 3.0);
      last = heard;
    }
    const std::string what = std::to_string(r.step_s) + "/" + std::to_string(r.late_s);
    EXPECT_LE(worst_playing, 0.004 + r.late_s) << what;  // not the step's 20 or 40 ms
    EXPECT_LE(worst_back, 0.0005) << what;               // never falls back with a step
    EXPECT_LE(overrun, 2.5 * std::max(r.step_s, 0.017) + 0.01) << what;  // a step or two
    EXPECT_LE(paused_past, 0.0) << what;  // stops once the pause shows
  }
}

constexpr int update_rate = 60;
constexpr double hop = 1.0 / update_rate;
// Every command waits: what is measured stays in the queue to be read.
const std::string held = "[SETTING]\nPORTNAME=COM3\nSYNC=1\nSYNC_OFFSET_MS=10000\n";

// Bursts of 100 ms in silence, three tones (one in each band) on every
// channel, from `starts` (seconds).
std::vector<audio_sample> bursts(const std::vector<double>& starts, double seconds, unsigned rate,
                                 unsigned channels) {
  std::vector<audio_sample> out(static_cast<size_t>(seconds * rate) * channels);
  for (double s : starts)
    for (size_t i = static_cast<size_t>(s * rate); i < static_cast<size_t>((s + 0.1) * rate); ++i) {
      const double t = static_cast<double>(i) / rate;
      const double v = 0.3 * (std::sin(2 * pi * 200 * t) + std::sin(2 * pi * 2000 * t) +
                              std::sin(2 * pi * 9000 * t));
      for (unsigned c = 0; c < channels; ++c) out[i * channels + c] = static_cast<audio_sample>(v);
    }
  return out;
}

// Runs the clock from from_s to to_s in 20 ms steps, each once the worker has
// asked for the played audio up to the update before it (or, waiting for
// audio the player has not served, has asked again since; or after 2 s);
// then stops the engine and gives its queue (the commands' moments without
// the offset).
std::vector<timed_command> measured(led_engine& e, fake_clock& clock, double from_s, double to_s) {
  double v = from_s;
  for (; v < to_s; v += 0.020) {
    clock.now_s = v;
    const int calls = clock.chunk_calls;
    // Pacing only: a worker starved by the machine's load catches up later.
    eventually([&] { return clock.asked_until >= v - hop || clock.chunk_calls > calls + 3; }, 2.0);
  }
  EXPECT_TRUE(eventually([&] { return clock.asked_until >= v - 0.020 - hop; })) << "caught up";
  e.stop();
  // The moments are checked to a few milliseconds: the bytes on a port, sent
  // by a worker that follows the clock in wall time, cannot show that on a
  // loaded machine. So the sync driver's queue is read, and nothing else.
  const auto* sync = dynamic_cast<const sync_mode*>(e.driver_in_use());
  EXPECT_NE(sync, nullptr) << "sync mode";
  std::vector<timed_command> out;
  for (size_t i = 0; sync && i < sync->waiting_commands().size(); ++i) {
    out.push_back(sync->waiting_commands().at(i));
    out.back().due_s -= 10.0;
  }
  return out;
}

bool lit(const timed_command& c) { return c.channels[0] + c.channels[1] + c.channels[2] > 30; }

// The first lit command from 50 ms before each start on, minus the start;
// 1.0 when none.
std::vector<double> offsets(const std::vector<timed_command>& q,
                            const std::vector<double>& starts) {
  std::vector<double> out;
  for (double at : starts) {
    double d = 1.0;
    for (const timed_command& c : q)
      if (c.due_s > at - 0.05 && lit(c)) {
        d = c.due_s - at;
        break;
      }
    out.push_back(d);
  }
  return out;
}

TEST(sync_rate, bursts_light_on_time_whatever_the_player_serves) {
  struct row {
    const char* what;
    unsigned rate, channels;
    double ahead_s = 1e9, short_part = 1.0, from_s = -1e9, drop_s = -1.0;
    int throw_every = 0;
    bool change = false;  // at 1.5 s to 48 kHz, 6 channels
  };
  std::vector<row> rows = {{"stereo 44.1 kHz", 44100, 2},
                           {"an upmixer after ours: 6 channels, 48 kHz", 48000, 6},
                           {"mono", 44100, 1},
                           {"8 channels at 192 kHz", 192000, 8},
                           {"no audio ahead of the clock", 44100, 2, 0.0},
                           {"answers shorter than asked", 44100, 2, 1e9, 0.6},
                           {"nothing before 0.6 s (the stream's start)", 44100, 2, 1e9, 1.0, 0.6},
                           {"a dropped span 1.0-1.5 s", 44100, 2, 1e9, 1.0, -1e9, 1.0}};
  rows.push_back({"every 4th call throws", 44100, 2});
  rows.back().throw_every = 4;
  rows.push_back({"a format change at 1.5 s", 44100, 2});
  rows.back().change = true;
  const std::vector<double> starts = {0.25, 0.8, 1.25, 1.7, 2.3};
  for (const row& r : rows) {
    fake_services host;
    fake_clock clock;
    host.clock = &clock;
    clock.ahead_s = r.ahead_s;
    clock.short_part = r.short_part;
    clock.served_from_s = r.from_s;
    clock.throw_every = r.throw_every;
    clock.play(0.0, bursts(starts, 3.0, r.rate, r.channels), r.channels, r.rate);
    if (r.change) clock.play(1.5, bursts({0.2, 0.8}, 1.5, 48000, 6), 6, 48000);
    if (r.drop_s > 0) clock.drop(r.drop_s, r.drop_s + 0.5);
    fake_port port;
    port.answer_ok();
    led_engine engine(settings_of(held), port);
    fulgora_test::runs(engine);
    const auto q = measured(engine, clock, 0.0, 2.6);
    EXPECT_EQ(clock.fake_calls, 0) << r.what;
    // One per update (or none where nothing was served), more where the light
    // rises, in order.
    ASSERT_GE(q.size(), 100u) << r.what;
    ASSERT_LE(q.size(), static_cast<size_t>(2.6 * update_rate * 5 / 4)) << r.what;
    for (size_t i = 1; i < q.size(); ++i) ASSERT_GT(q[i].due_s, q[i - 1].due_s) << r.what;
    const auto o = offsets(q, starts);
    for (size_t i = 0; i < starts.size(); ++i) {
      const double s = starts[i];
      if (s < r.from_s || (s + 0.1 > r.drop_s && s < r.drop_s + 0.5)) continue;  // never served
      EXPECT_LE(std::fabs(o[i]), 0.25 * hop + 0.003) << r.what << ": the burst at " << s;
    }
    // Nothing guessed where nothing was served.
    for (const timed_command& c : q) {
      EXPECT_GE(c.due_s, r.from_s - hop) << r.what;
      if (r.drop_s > 0) {
        EXPECT_FALSE(c.due_s > r.drop_s + 0.12 && c.due_s < r.drop_s + 0.5 - hop) << c.due_s;
      }
    }
  }
}

// A format beyond what our chunk was made for (16 channels at 384 kHz): the
// player sizes the chunk past its room and copies the whole size, so it grows
// (the sanitizer builds see any write past it), and the burst is measured.
TEST(sync_rate, a_format_beyond_the_chunk_s_room_is_read_whole) {
  fake_services host;
  fake_clock clock;
  host.clock = &clock;
  clock.play(0.0, bursts({0.25}, 0.6, 384000, 16), 16, 384000);
  fake_port port;
  port.answer_ok();
  led_engine engine(settings_of(held), port);
  fulgora_test::runs(engine);
  const auto q = measured(engine, clock, 0.0, 0.5);
  const auto o = offsets(q, {0.25});
  EXPECT_LE(std::fabs(o[0]), 0.25 * hop + 0.003);
}

// After a seek the clock's time line starts again: what was queued for the
// old one goes, and the first update is the one the clock is at. An instance
// added mid-play starts there too.
TEST(sync_rate, a_seek_or_a_late_start_lights_where_the_clock_is) {
  for (const double start_s : {0.0, 37.0}) {
    fake_services host;
    fake_clock clock;
    host.clock = &clock;
    const std::vector<double> starts = {start_s + 0.3, start_s + 0.9};
    clock.play(0.0, bursts(starts, start_s + 2.0, 44100, 2), 2, 44100);
    clock.now_s = start_s;
    fake_port port;
    port.answer_ok();
    led_engine engine(settings_of(held), port);
    fulgora_test::runs(engine);
    for (double v = start_s; v < start_s + 0.5; v += 0.020) {  // then a seek back
      clock.now_s = v;
      ASSERT_TRUE(eventually([&] { return clock.asked_until >= v - hop; }));
    }
    clock.now_s = 0.0;
    ASSERT_TRUE(eventually([&] { return clock.last_asked < 0.1; })) << "the seek seen";
    clock.asked_until = -1e9;
    const auto q = measured(engine, clock, 0.02, 1.2);
    ASSERT_FALSE(q.empty());
    EXPECT_LE(q.front().due_s, hop) << start_s << ": from the seek's place, the old ones gone";
    const auto o = offsets(q, {0.3, 0.9});
    if (start_s == 0.0) {
      for (double d : o) EXPECT_LE(std::fabs(d), 0.25 * hop + 0.003);
    } else {
      for (double d : o) EXPECT_GT(std::fabs(d), 0.1) << "bursts only at 37.3 and 37.9 s";
    }
  }
}

// In every mode each reason is said once, by the worker, and nothing is sent;
// a one-frame chunk is no mistake. Sync mode measures the played stream, and
// says what it finds there.
TEST(led_engine, says_once_why_chunks_are_not_measured) {
  for (const char* mode : {"", "SYNC=1\n", "SYNC=1\nSYNC_RATE=0\n"}) {
    const settings_record file = settings_of(std::string("[SETTING]\nPORTNAME=COM3\n") + mode);
    fake_services host;
    fake_clock clock;
    host.clock = &clock;
    clock.now_s = 0.5;
    clock.answering = false;  // until the input's line is said
    const std::vector<audio_sample> mono(4096, 0.25f), six(6 * 4096, 0.25f),
        stereo(2 * 4096, 0.25f);
    clock.play(0.0, std::vector<audio_sample>(2 * 32000, 0.25f), 2, 32000);
    fake_port port;
    port.answer_ok();
    led_engine engine(file, port);
    engine.offer_chunk(audio_chunk_impl(mono.data(), 4096, 1, 44100));
    engine.offer_chunk(audio_chunk_impl(six.data(), 4096, 6, 44100));
    engine.offer_chunk(audio_chunk_impl(stereo.data(), 1, 2, 44100));
    const std::vector<std::string> said = {
        "successful com open.", "audio: mono, only stereo is measured.",
        "analysis: HI_FREQ 22000 Hz above half of 32000 Hz, nothing sent."};
    EXPECT_TRUE(eventually([&] { return host.lines_now().size() == 2; })) << mode;
    clock.answering = true;
    // 32000 Hz: the file's 22000 Hz high edge lies above half the rate. Offered
    // until one is taken: a busy worker passes chunks on without capture.
    EXPECT_TRUE(eventually([&] {
      engine.offer_chunk(audio_chunk_impl(stereo.data(), 4096, 2, 32000));
      return host.lines_now() == said;
    })) << mode;
    engine.stop();
    EXPECT_EQ(host.lines_now().size(), said.size() + 1) << mode << ": each once, then the close";
    EXPECT_EQ(port.writes_now(), std::vector<std::string>{"LD\r\n"}) << mode;
  }
}

}  // namespace
}  // namespace fulgora
