#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "engine/led_engine.h"
#include "engine/measure.h"
#include "host/console.h"
#include "serial/serial_link.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::chunk_of;
using fulgora_test::eventually;
using fulgora_test::fake_port;
using fulgora_test::fake_services;
using fulgora_test::no_settings_file;
using fulgora_test::settings_of;
using fulgora_test::sine;
using lines = std::vector<std::string>;

const std::string only_port = "[SETTING]\nPORTNAME=COM3\n";

// A chunk that shows whether the engine read its samples: it reads them only
// when it takes the chunk as a block (a busy worker passes chunks on unread).
class watched_chunk : public audio_chunk_impl {
 public:
  using audio_chunk_impl::audio_chunk_impl;
  using audio_chunk_impl::get_data;
  const audio_sample* get_data() const override {
    read = true;
    return audio_chunk_impl::get_data();
  }
  mutable bool read = false;  // the offering thread's
};

// The bytes the analysis predicts for one chunk, computed apart from the engine.
std::string predicted_command(const audio_chunk& chunk, const led_settings& settings,
                              level_history& history, uint8_t channels[3]) {
  band_analyzer a;
  capture_chunk(a, chunk);
  if (!measure_block(a, settings, history, channels)) return "";
  char command[12];
  format_level_command(channels, command);
  return std::string(command, 12);
}

TEST(led_engine, no_port_configured_means_stopped_and_silent) {
  const std::string empty_port = "[SETTING]\nPORTNAME=\nLOW_FREQ=100\n";
  const std::string no_port_key = "[SETTING]\nLOW_FREQ=100\n";
  for (const std::string* file :
       {static_cast<const std::string*>(nullptr), &empty_port, &no_port_key}) {
    fake_services host;
    fake_port port;
    {
      led_engine engine(file ? settings_of(*file) : no_settings_file(), port);
      EXPECT_FALSE(engine.is_running());
      EXPECT_EQ(engine.settings_in_force().LOW_FREQ, 800.0) << "the other keys are never read";
      const auto tone = sine(1000, 0.5, 4096, 2, 44100);
      engine.offer_chunk(chunk_of(tone, 2, 44100));  // nothing to capture it
    }
    EXPECT_TRUE(port.opened_names.empty());
    // A file without a port is the user's choice; no file at all is a mistake.
    EXPECT_EQ(host.lines(),
              file ? lines{} : lines{"settings: no foo_Fulgora.ini found, lights off."});
  }
}

TEST(led_engine, every_bad_value_is_named_once) {
  const struct {
    std::string keys;
    lines said;  // between the open and close lines
    bool built_in;
  } rows[] = {
      {"LOW_RATIO=2,5\n", {"settings: LOW_RATIO malformed, built-in defaults used."}, true},
      {"LOW_FREQ=300 ; bass\n", {"settings: LOW_FREQ malformed, built-in defaults used."}, true},
      {"HI_GANMA=\n", {"settings: HI_GANMA empty, built-in defaults used."}, true},
      {"ENHANCER_MEAN_COUNT=-1\n",
       {"settings: ENHANCER_MEAN_COUNT malformed, built-in defaults used."},
       true},
      // The first line as ever, then each other bad key in the table's order,
      // a key written twice named once.
      {"HI_GANMA=x\nSYNC_RATE=fast\nLOW_RATIO=2,5\nMID_FREQ=\nHI_GANMA=y\nRECONNECT=\n",
       {"settings: MID_FREQ empty, built-in defaults used.",
        "settings: LOW_RATIO malformed, ignored.", "settings: HI_GANMA malformed, ignored.",
        "settings: SYNC_RATE malformed, ignored.", "settings: RECONNECT empty, ignored."},
       true},
      {"SYNC_OFFSET_MS=20000\nLIVE=yes\n",
       {"settings: SYNC_OFFSET_MS malformed, ignored.", "settings: LIVE malformed, ignored."},
       false},
      {"SYNC=\nLOW_FREQ=300\n", {"settings: SYNC empty, ignored."}, false},
  };
  for (const auto& r : rows) {
    fake_services host;
    fake_port port;
    {
      led_engine engine(settings_of(only_port + r.keys), port);
      EXPECT_EQ(engine.settings_in_force().ENABLE_ENHANCER, r.built_in) << r.keys;
    }
    lines expected = {"successful com open."};
    expected.insert(expected.end(), r.said.begin(), r.said.end());
    expected.push_back("successful com close.");
    EXPECT_EQ(host.lines(), expected) << r.keys;
  }
}

TEST(led_engine, a_failed_open_leaves_it_stopped_but_loads_the_settings) {
  fake_services host;
  fake_port port;
  port.fail_set = true;
  led_engine engine(settings_of(only_port + "LOW_FREQ=123\n"), port);
  EXPECT_FALSE(engine.is_running());
  EXPECT_EQ(engine.settings_in_force().LOW_FREQ, 123.0);
  EXPECT_EQ(host.lines(), (lines{"failed SetCommState.", "successful com close."}));
  EXPECT_TRUE(port.writes_now().empty()) << "no closing command on a port that never opened";
}

TEST(led_engine, each_captured_block_reaches_the_board_as_predicted) {
  fake_services host;
  fake_port port;
  port.answer_ok();
  led_settings settings;
  level_history history;
  uint8_t expected_channels[3] = {0, 0, 0};
  std::vector<std::string> expected;
  {
    led_engine engine(settings_of(only_port + "ENABLE_ENHANCER=1\nLOW_ENHANCE=0.5\n"), port);
    ASSERT_TRUE(engine.is_running());
    settings = engine.settings_in_force();
    history.resize(settings.ENHANCER_MEAN_COUNT);
    for (int i = 0; i < 5; ++i) {
      const auto tone = sine(200.0 * (i + 1), 0.2 * (i + 1), 4096, 2, 44100);
      const watched_chunk chunk(tone.data(), 4096, 2, 44100);
      if (i == 0) {
        engine.offer_chunk(chunk);
        EXPECT_TRUE(chunk.read) << "idle at start: the first chunk is taken";
      }
      // The worker passes chunks on unread until the last block's command is
      // out, so a chunk is offered again until it is read, and never after:
      // each chunk is one block, and the next is offered once its command
      // is on the port.
      ASSERT_TRUE(eventually([&] {
        if (!chunk.read) engine.offer_chunk(chunk);
        return chunk.read;
      })) << i;
      expected.push_back(predicted_command(chunk, settings, history, expected_channels));
      ASSERT_TRUE(eventually([&] {
        return port.level_writes().size() == static_cast<size_t>(i + 1);
      })) << i;
    }
    EXPECT_FALSE(engine.start(L"COM4")) << "already running";
    engine.stop();
    engine.stop();  // twice: nothing more is said or sent
    EXPECT_FALSE(engine.is_running());
    EXPECT_FALSE(engine.link_open());
  }
  std::vector<std::string> writes = port.writes_now();
  ASSERT_EQ(writes.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(writes.begin(), writes.end() - 1), expected);
  EXPECT_EQ(writes.back(), "LD\r\n") << "the closing command comes last";
  EXPECT_EQ(host.lines(), (lines{"successful com open.", "successful com close."}));
}

// A fault of the bin width (below one bin, two edges in one bin) is said only
// when the longest block seen shows it: a track's short last chunk (100
// frames, a block of 64) once said so with correct settings and used up the
// line. An edge above half the rate fails at any length and is said at once.
// Each row's line names the edge and the rate of the block that showed it.
TEST(engine_notices, a_short_block_alone_is_no_band_edge_mistake) {
  struct block {
    uint32_t frames;
    double low, mid, high;
    unsigned rate = 44100;
  };
  const struct {
    std::vector<block> blocks;
    std::vector<std::string> said;
  } rows[] = {
      {{{4096, 500, 5000, 20000}, {100, 500, 5000, 20000}, {4096, 500, 505, 20000}},
       {"analysis: MID_FREQ 505 Hz in the bin of LOW_FREQ 500 Hz, nothing sent."}},
      {{{4096, 500, 5000, 20000}, {100, 500, 5000, 30000}},
       {"analysis: HI_FREQ 30000 Hz above half of 44100 Hz, nothing sent."}},
      {{{100, 5, 5000, 20000}, {4096, 5, 5000, 20000}},
       {"analysis: LOW_FREQ 5 Hz below one bin at 44100 Hz, nothing sent."}},
      {{{4096, 500, 5000, 20000}, {100, 500, 5000, 20000}, {100, 500, 5000, 20000}}, {}},
      {{{4096, 500, 5000, 20000, 22050}},
       {"analysis: HI_FREQ 20000 Hz above half of 22050 Hz, nothing sent."}},
      {{{4096, 500, 30000, 40000}},
       {"analysis: MID_FREQ 30000 Hz above half of 44100 Hz, nothing sent."}},
      {{{4096, -50, 5000, 20000}}, {"analysis: LOW_FREQ -50 Hz is no frequency, nothing sent."}},
  };
  for (const auto& r : rows) {
    fake_services host;
    band_analyzer a;
    engine_notices notices(console_print);  // the engine's sink
    for (const block& b : r.blocks) {
      const auto tone = fulgora_test::sine(1000, 0.5, b.frames, 2, b.rate);
      capture_chunk(a, chunk_of(tone, 2, b.rate));
      a.low_edge = b.low, a.mid_edge = b.mid, a.high_edge = b.high;
      if (!a.analyze()) notices.tell_failed_analysis(a);
    }
    EXPECT_EQ(host.lines(), r.said) << r.blocks.size() << " blocks";
  }
  band_analyzer unused;
  EXPECT_FALSE(unused.analyze());
  char text[200];
  EXPECT_FALSE(no_levels_text(unused, text, sizeof text)) << "no block is no band edge's fault";
}

TEST(led_engine, unrouted_channels_start_dark) {
  fake_services host;
  fake_port port;
  port.answer_ok();
  led_engine engine(settings_of(only_port + "LOW_LEDTYPE=0\nMID_LEDTYPE=0\nHI_LEDTYPE=1\n"), port);
  const auto tone = sine(1000, 0.5, 4096, 2, 44100);
  engine.offer_chunk(chunk_of(tone, 2, 44100));
  ASSERT_TRUE(eventually([&] { return port.level_writes().size() == 1; }));
  EXPECT_EQ(port.writes_now()[0].substr(8, 2), "00") << "no band names channel 2";
}

// Holds the worker inside its write until released.
struct write_gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  int entered = 0;
  void hold(fake_port& port) {
    port.on_write = [this, &port](const std::string& bytes) {
      if (bytes[0] != 'S') return;
      std::unique_lock<std::mutex> lock(m);
      ++entered;
      cv.notify_all();
      cv.wait(lock, [this] { return open; });
      port.answer("OK\r\n");
    };
  }
  void wait_entered() {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [this] { return entered > 0; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(m);
    open = true;
    cv.notify_all();
  }
};

TEST(led_engine, busy_worker_passes_chunks_and_stop_waits_for_its_cycle) {
  fake_services host;
  fake_port port;
  write_gate gate;
  gate.hold(port);
  auto engine = std::make_unique<led_engine>(settings_of(only_port), port);
  const auto tone = sine(1000, 0.5, 4096, 2, 44100);
  engine->offer_chunk(chunk_of(tone, 2, 44100));
  gate.wait_entered();  // Busy: the worker is in its cycle
  const auto other = sine(5000, 0.5, 2048, 2, 48000);
  const watched_chunk passed(other.data(), 2048, 2, 48000);
  engine->offer_chunk(passed);
  EXPECT_FALSE(passed.read) << "passed on without capture";

  std::atomic<bool> stopped{false};
  std::thread releaser([&] {
    engine.reset();  // stop: waits for the cycle in progress
    stopped = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(stopped) << "the releasing thread waits for the worker";
  gate.release();
  releaser.join();
  const auto writes = port.writes_now();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1], "LD\r\n");
}

// A chunk whose samples cannot be had: the player's objects may throw.
class throwing_chunk : public audio_chunk_impl {
 public:
  using audio_chunk_impl::get_data;
  unsigned get_channels() const override { return 2; }
  unsigned get_srate() const override { return 44100; }
  size_t get_sample_count() const override { return 4096; }
  const audio_sample* get_data() const override { throw std::bad_alloc(); }
};

// A chunk claiming more frames than a block the analyser can hold.
class huge_chunk : public audio_chunk_impl {
 public:
  huge_chunk(const std::vector<audio_sample>& s, size_t frames)
      : audio_chunk_impl(s.data(), s.size() / 2, 2, 44100), frames_(frames) {}
  size_t get_sample_count() const override { return frames_; }

 private:
  size_t frames_;
};

TEST(led_engine, chunks_that_cannot_be_taken_leave_the_gate_open) {
  fake_services host;
  fake_port port;
  port.answer_ok();
  led_engine engine(settings_of(only_port), port);
  ASSERT_TRUE(engine.is_running());
  // The player's error while the chunk is read: the gate was never taken.
  EXPECT_THROW(engine.offer_chunk(throwing_chunk()), std::bad_alloc) << "passed on";
  // No room for the block: no exception, unmeasured, the gate open again.
  // 2^31 frames exceed what a block may hold; 2^30 frames need more bytes
  // than a 32-bit address space has (elsewhere the memory might be granted).
  const auto tone = sine(1000, 0.5, 4096, 2, 44100);
  std::vector<size_t> too_many = {size_t{1} << 31};
  if (sizeof(size_t) == 4) too_many.push_back(size_t{1} << 30);
  for (size_t frames : too_many)
    EXPECT_NO_THROW(engine.offer_chunk(huge_chunk(tone, frames))) << frames;
  // The worker never had a block: the next chunk is taken at once.
  const watched_chunk next(tone.data(), 4096, 2, 44100);
  engine.offer_chunk(next);
  EXPECT_TRUE(next.read) << "the gate is open";
  ASSERT_TRUE(eventually([&] { return port.level_writes().size() == 1; }))
      << "the next chunk is measured";
}

}  // namespace
}  // namespace fulgora
