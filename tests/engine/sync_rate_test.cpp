// Sync mode at a rate: the clock model, windows across chunk boundaries,
// restarts, and an instance that carries on its predecessor's stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/led_engine.h"
#include "engine/sync/heard_clock.h"
#include "host/output.h"
#include "tests/support/engine_modes.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::sync_of;

using fulgora_test::eventually;
using fulgora_test::fake_clock;
using fulgora_test::fake_port;
using fulgora_test::fake_services;
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

// Noise bursts of 100 ms at random frames in silence: their first frames.
struct bursts {
  std::vector<audio_sample> samples;  // interleaved stereo
  std::vector<size_t> starts;
  bursts(unsigned rate, double seconds) : samples(2 * static_cast<size_t>(seconds * rate)) {
    std::mt19937 rng(rate);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    std::uniform_int_distribution<size_t> jitter(0, rate / 2);
    for (size_t at = rate / 4 + jitter(rng); at + rate / 10 < samples.size() / 2;
         at += rate * 3 / 4 + jitter(rng)) {
      starts.push_back(at);
      for (size_t i = at; i < at + rate / 10; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<audio_sample>(noise(rng));
    }
  }
  void offer(led_engine& e, unsigned chunk, unsigned rate, size_t from, size_t to) const {
    for (size_t at = from; at < to; at += chunk) {
      const size_t n = std::min<size_t>(chunk, to - at);
      e.offer_chunk(audio_chunk_impl(samples.data() + 2 * at, static_cast<unsigned>(n), 2, rate));
    }
  }
};

size_t commands_for(double seconds) { return static_cast<size_t>(seconds * update_rate); }

// The worker has taken every chunk offered and measures no more: the ring it
// frees behind each window it measured stands still while nothing is left.
bool measured_all(led_engine& e) {
  uint64_t last = ~uint64_t{0};
  return eventually([&] {
    const sync_mode& s = *sync_of(e);
    const uint64_t freed = s.frames_freed.load();
    const bool done = freed == last && s.pieces_taken.load() == s.pieces_written.load();
    last = freed;
    if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return done;
  });
}

// The engine's queue once its worker has measured everything and ended: at
// least `count` commands.
std::vector<timed_command> queued(led_engine& e, size_t count) {
  EXPECT_TRUE(measured_all(e));
  e.stop();
  std::vector<timed_command> out;
  for (size_t i = 0; i < sync_of(e)->queue.size(); ++i) out.push_back(sync_of(e)->queue.at(i));
  EXPECT_GE(out.size(), count);
  return out;
}

// Offsets of the first lit command at or after each burst (due minus start).
std::vector<double> offsets(const std::vector<timed_command>& q, const bursts& b, unsigned rate,
                            double base_s) {
  std::vector<double> out;
  for (size_t start : b.starts) {
    const double at = base_s + static_cast<double>(start) / rate;
    for (const timed_command& c : q)
      if (c.due_s > at - 0.05 && c.channels[0] + c.channels[1] + c.channels[2] > 30) {
        out.push_back(c.due_s - at);
        break;
      }
  }
  return out;
}

TEST(sync_rate, bursts_light_on_time_at_any_chunk_size_and_rate) {
  struct row {
    unsigned chunk, rate;
  };
  const row rows[] = {{441, 44100},   {1152, 44100}, {4096, 44100},
                      {16384, 44100}, {960, 48000},  {4096, 96000}};
  for (const row r : rows) {
    const settings_record file = settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n");
    fake_services host;
    fake_clock clock;
    clock.answering = false;  // nothing plays: every command stays queued
    host.clock = &clock;
    fake_port port;
    port.answer_ok();
    led_engine engine(file, port);
    ASSERT_NE(sync_of(engine), nullptr);
    const bursts b(r.rate, 3.0);
    b.offer(engine, r.chunk, r.rate, 0, b.samples.size() / 2);
    const auto q = queued(engine, commands_for(3.0));
    const std::string what = std::to_string(r.chunk) + " at " + std::to_string(r.rate);
    // One per update, none dropped, and more where the light rises.
    ASSERT_GE(q.size(), commands_for(3.0)) << what;
    ASSERT_LE(q.size(), commands_for(3.0) * 5 / 4) << what;
    const double hop = 1.0 / update_rate;
    EXPECT_NEAR(q.front().due_s, 0.5 * hop, 1e-9) << what;
    for (size_t i = 1; i < q.size(); ++i) ASSERT_GT(q[i].due_s, q[i - 1].due_s) << what;
    const auto o = offsets(q, b, r.rate, 0.0);
    ASSERT_EQ(o.size(), b.starts.size()) << what << ": no burst missed";
    for (double d : o) EXPECT_LE(std::fabs(d), 0.25 * hop + 0.003) << what;
  }
}

// The player's output manager (players from 1.3.5 on): its buffer length.
class output_settings : public output_manager {
 public:
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  void instantiate_core_default_slot() override {}
  void get_core_config(void* out, size_t size) override {
    output_core_config c{};
    c.buffer_length = buffer_s;
    std::memcpy(out, &c, std::min(size, sizeof c));
  }
  double buffer_s = 0.0;
};

class services_with_output : public fake_services {
 public:
  service_class_ref service_enum_find_class(const GUID& guid) override {
    if (guid == output_manager::class_guid) return offered ? &output : nullptr;
    return fake_services::service_enum_find_class(guid);
  }
  bool service_enum_create(service_ptr& out, service_class_ref clazz, size_t index) override {
    if (clazz != &output) return fake_services::service_enum_create(out, clazz, index);
    if (index == 0) out.set(&output);
    return index == 0;
  }
  size_t service_enum_get_count(service_class_ref clazz) override {
    return clazz == &output ? 1 : fake_services::service_enum_get_count(clazz);
  }
  output_settings output;
  bool offered = true;
};

// The successor carries the old stream on only while its end lies between
// what is heard and that plus the output's buffer (and a margin); otherwise
// it finds its own place.
TEST(sync_rate, a_restart_drops_the_old_stream_and_a_successor_carries_it_on) {
  const struct {
    double clock_s, buffer_s;
    bool carried;
  } rows[] = {
      {0.0, 1.0, true},   // the old stream ends at 1.09 s: within a buffer of the sound
      {0.0, 0.2, false},  // further ahead than the output holds
      {1.6, 1.0, false},  // already heard: the stream broke off
  };
  int port = 0;
  for (const auto& r : rows) {
    const std::string what = std::to_string(r.clock_s) + "/" + std::to_string(r.buffer_s);
    // A port of its own: the last row's successor leaves its stream for the
    // next instance on its port.
    const settings_record file =
        settings_of("[SETTING]\nPORTNAME=COM_SWAP" + std::to_string(++port) + "\nSYNC=1\n");
    services_with_output host;
    host.output.buffer_s = r.buffer_s;
    fake_clock clock;
    clock.now_s = r.clock_s;  // standing
    host.clock = &clock;
    const unsigned rate = 44100, chunk = 1024;
    const bursts b(rate, 3.0);
    fake_port old_port, new_port;
    old_port.answer_ok();
    new_port.answer_ok();
    auto old_engine = std::make_unique<led_engine>(file, old_port);
    // A seek after 0.5 s: what was measured of the old stream is never heard.
    b.offer(*old_engine, chunk, rate, 0, rate / 2);
    ASSERT_TRUE(measured_all(*old_engine)) << what;
    old_engine->restart_stream();
    b.offer(*old_engine, chunk, rate, 0, rate);
    ASSERT_TRUE(measured_all(*old_engine)) << what;
    // The chain is swapped during playback: the new instance is built while the
    // old one holds the port; the old one runs once more, its last chunks, and
    // is released at once; the new one gets the chunks after them.
    led_engine successor(file, new_port);
    ASSERT_TRUE(successor.port.waiting) << what;
    const unsigned last = rate + 4 * chunk;
    b.offer(*old_engine, chunk, rate, rate, last);
    old_engine.reset();
    b.offer(successor, chunk, rate, last, 3 * rate);
    const auto q = queued(successor, r.carried ? commands_for(2.0) : 1);
    const double old_end_s = static_cast<double>(last) / rate;
    if (!r.carried) {
      // Placed as one added during playback (where depends on how much it
      // had been given when it looked).
      EXPECT_GT(std::fabs(sync_of(successor)->base_s - old_end_s), 0.01) << what;
      continue;
    }
    EXPECT_NEAR(sync_of(successor)->base_s, old_end_s, 1e-6) << what;
    // The old instance's second second (the new stream) and its last run, then
    // the successor's.
    ASSERT_GE(q.size(), commands_for(3.0));
    EXPECT_NEAR(q.front().due_s, 0.5 / update_rate, 1e-9) << "the seek's stream only";
    // On across the swap: no gap, no overlap (a rise stamps up to 3/8 of an
    // update later).
    for (size_t i = 1; i < q.size(); ++i) {
      ASSERT_GT(q[i].due_s, q[i - 1].due_s) << i;
      ASSERT_LT(q[i].due_s - q[i - 1].due_s, 1.375 / update_rate + 1e-6) << i;
    }
    for (double d : offsets(q, b, rate, 0.0)) EXPECT_LE(std::fabs(d), 0.25 / update_rate + 0.003);
  }
}

TEST(sync_rate, an_instance_added_during_playback_finds_its_place) {
  struct row {
    double clock_s, buffer_s;  // buffer 0: a player without the output manager
    double base_s;             // where its stream time 0 lies on the clock
  };
  // Mid-play, a buffer's length ahead of the clock; without the length, at
  // the clock (ahead of the sound by the buffer, still far better than 0);
  // at the start of playback, with the clock.
  for (const row r : {row{37.0, 1.0, 38.0}, row{37.0, 0.0, 37.0}, row{0.0, 1.0, 0.0}}) {
    const settings_record file = settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n");
    services_with_output host;
    host.output.buffer_s = r.buffer_s;
    host.offered = r.buffer_s > 0.0;
    fake_clock clock;
    clock.now_s = r.clock_s;  // standing: nothing becomes due
    host.clock = &clock;
    fake_port port;
    port.answer_ok();
    led_engine engine(file, port);
    ASSERT_NE(sync_of(engine), nullptr);
    const unsigned rate = 44100;
    const bursts b(rate, 2.0);
    // As the player gives it, the worker takes the first chunk as it comes.
    b.offer(engine, 1024, rate, 0, 1024);
    ASSERT_TRUE(eventually([&] { return sync_of(engine)->pieces_taken.load() == 1; }));
    b.offer(engine, 1024, rate, 1024, b.samples.size() / 2);
    const auto q = queued(engine, commands_for(2.0));
    const std::string what = std::to_string(r.clock_s) + "/" + std::to_string(r.buffer_s);
    ASSERT_GE(q.size(), commands_for(2.0)) << what;
    EXPECT_NEAR(q.front().due_s, r.base_s + 0.5 / update_rate, 1e-9) << what;
    for (double d : offsets(q, b, rate, r.base_s))
      EXPECT_LE(std::fabs(d), 0.25 / update_rate + 0.003) << what;
  }
}

// In every mode each reason is said once, by the worker, and nothing is sent;
// a one-frame chunk is no mistake.
TEST(led_engine, says_once_why_chunks_are_not_measured) {
  for (const char* mode : {"", "SYNC=1\n", "SYNC=1\nSYNC_RATE=0\n"}) {
    const settings_record file = settings_of(std::string("[SETTING]\nPORTNAME=COM3\n") + mode);
    fake_services host;
    fake_clock clock;
    clock.answering = false;
    host.clock = &clock;
    fake_port port;
    port.answer_ok();
    led_engine engine(file, port);
    ASSERT_EQ(sync_of(engine) != nullptr, *mode != 0) << mode;
    const std::vector<audio_sample> mono(4096, 0.25f), six(6 * 4096, 0.25f),
        stereo(2 * 4096, 0.25f);
    engine.offer_chunk(audio_chunk_impl(mono.data(), 4096, 1, 44100));
    engine.offer_chunk(audio_chunk_impl(six.data(), 4096, 6, 44100));
    engine.offer_chunk(audio_chunk_impl(stereo.data(), 1, 2, 44100));
    const std::vector<std::string> said = {
        "successful com open.", "audio: mono, only stereo is measured.",
        "analysis: HI_FREQ 22000 Hz above half of 32000 Hz, nothing sent."};
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
