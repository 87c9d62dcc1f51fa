#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/led_engine.h"
#include "tests/support/engine_modes.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/tones.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::sync_of;

using fulgora_test::chunk_of;
using fulgora_test::eventually;
using fulgora_test::fake_clock;
using fulgora_test::fake_port;
using fulgora_test::fake_services;
using fulgora_test::settings_of;
using fulgora_test::sine;
using fulgora_test::tones;
using lines = std::vector<std::string>;

// One command per chunk, as before SYNC_RATE.
const std::string sync_on = "[SETTING]\nPORTNAME=COM3\nSYNC=1\nSYNC_RATE=0\n";
// Chunks far enough apart that the clock model's reach past a reading
// (at most a quarter second) never makes the next one due.
constexpr unsigned frames = 16384, rate = 44100;

// Stream time of the middle frame of the block of chunk i.
double block_time(int i) { return (i * frames + frames / 2) / double(rate); }

std::vector<std::string> level_writes(fake_port& port) {
  std::vector<std::string> out;
  for (const auto& w : port.writes_now())
    if (w.size() == 12 && w[0] == 'S') out.push_back(w);
  return out;
}

// Every published block taken (and so queued, or found empty) by the worker.
bool drained(led_engine& e) {
  return sync_of(e)->pieces_taken.load(std::memory_order_acquire) ==
         sync_of(e)->pieces_written.load(std::memory_order_acquire);
}

TEST(sync_settings, the_two_keys_are_read_on_their_own) {
  struct row {
    std::string keys;
    bool sync;
    int32_t offset;
    int32_t rate;
  };
  const row rows[] = {
      {"", false, 0, 60},
      {"SYNC=0\n", false, 0, 60},
      {"SYNC=1\n", true, 0, 60},
      {"SYNC= 1\nSYNC_OFFSET_MS=-40\nSYNC_RATE=0\n", true, -40, 0},
      {"SYNC=2\nSYNC_OFFSET_MS=25\nSYNC_RATE=30\n", false, 25, 30},
      {"SYNC=yes\nSYNC_RATE=-1\n", false, 0, 60},
      {"SYNC=1\nSYNC_OFFSET_MS=12ms\nSYNC_RATE=60Hz\n", true, 0, 60},
      {"SYNC=1\nSYNC_OFFSET_MS=20000\nSYNC_RATE=5000\n", true, 0, max_sync_rate},
      {"SYNC=\nSYNC_OFFSET_MS=\nSYNC_RATE=\n", false, 0, 60},
  };
  for (const row& r : rows) {
    // A malformed seventeen-value key beside them: they do not care.
    const settings_record file = settings_of("[SETTING]\nPORTNAME=COM3\nLOW_FREQ=500Hz\n" + r.keys);
    const sync_settings s = file.sync;
    EXPECT_EQ(s.SYNC, r.sync) << r.keys;
    EXPECT_EQ(s.SYNC_OFFSET_MS, r.offset) << r.keys;
    EXPECT_EQ(s.SYNC_RATE, r.rate) << r.keys;
  }
  // And a malformed new key leaves the seventeen alone.
  const settings_record file = settings_of(
      "[SETTING]\nPORTNAME=COM3\nLOW_FREQ=321\nSYNC=on\nSYNC_OFFSET_MS=x\nSYNC_RATE=y\n");
  led_settings settings;
  level_history history;
  EXPECT_TRUE(load_settings(file, settings, history));
  EXPECT_EQ(settings.LOW_FREQ, 321.0);
}

TEST(command_queue, newest_due_goes_out_older_are_dropped) {
  command_queue q;
  uint8_t out[3] = {9, 9, 9};
  for (uint8_t i = 0; i < 4; ++i) {
    const uint8_t c[3] = {i, i, i};
    q.push(1.0 + i, c);
  }
  EXPECT_FALSE(q.take_due(0.5, out));
  EXPECT_EQ(out[0], 9) << "untouched";
  EXPECT_TRUE(q.take_due(1.0, out));
  EXPECT_EQ(out[0], 0);
  EXPECT_TRUE(q.take_due(3.5, out));
  EXPECT_EQ(out[0], 2) << "the newest of the two due";
  EXPECT_EQ(q.size(), 1u);
  q.clear();
  EXPECT_FALSE(q.take_due(100.0, out));
  // 256-frame chunks at 192 kHz, each due 20 s later (a 10 s buffer and the
  // largest offset): none is dropped before it is due.
  const double per_s = 192000.0 / 256;
  const size_t waiting = static_cast<size_t>(20.0 * per_s);
  ASSERT_LE(waiting, command_queue::capacity);
  for (size_t i = 0; i < waiting; ++i) {
    const uint8_t c[3] = {static_cast<uint8_t>(i), 0, 0};
    q.push(20.0 + i / per_s, c);
  }
  EXPECT_EQ(q.size(), waiting);
  EXPECT_TRUE(q.take_due(20.0, out));
  EXPECT_EQ(out[0], 0) << "the first is still there at its time";
  // Past its bounds the newest gives way; the most urgent stays.
  for (size_t i = 0; i < command_queue::capacity; ++i) q.push(60.0, out);
  EXPECT_EQ(q.size(), command_queue::capacity);
  double due = 0.0;
  ASSERT_TRUE(q.next_due(due));
  EXPECT_DOUBLE_EQ(due, 20.0 + 1 / per_s);
}

TEST(sync_mode, off_or_without_a_clock_works_as_before) {
  struct row {
    std::string keys;
    bool manager;
    fake_clock::manner manner;
    lines console;
  };
  const lines normal{"successful com open.", "successful com close."};
  const lines fallback{"successful com open.", "sync off: no playback clock.",
                       "successful com close."};
  const row rows[] = {
      {"", true, fake_clock::manner::answers, normal},
      {"SYNC=0\n", true, fake_clock::manner::answers, normal},
      {"SYNC=1\n", false, fake_clock::manner::answers, fallback},
      {"SYNC=1\n", true, fake_clock::manner::refuses, fallback},
  };
  for (const row& r : rows) {
    const settings_record file = settings_of("[SETTING]\nPORTNAME=COM3\n" + r.keys);
    fake_services host;
    fake_clock clock;
    clock.create = r.manner;
    clock.answering = false;  // would hold every command in sync mode
    if (r.manager) host.clock = &clock;
    fake_port port;
    port.answer_ok();
    {
      led_engine engine(file, port);
      EXPECT_EQ(sync_of(engine), nullptr) << r.keys;
      const auto tone = sine(1000, 0.5, frames, 2, rate);
      engine.offer_chunk(chunk_of(tone, 2, rate));
      EXPECT_TRUE(eventually([&] { return level_writes(port).size() == 1; })) << r.keys;
    }
    EXPECT_EQ(clock.streams_created, 0) << "no stream kept when the mode is off";
    EXPECT_EQ(host.lines(), r.console) << r.keys;
  }
}

TEST(sync_mode, each_block_goes_out_when_heard) {
  for (const int offset_ms : {0, -30}) {
    const settings_record file =
        settings_of(sync_on + "SYNC_OFFSET_MS=" + std::to_string(offset_ms) + "\n");
    fake_services host;
    fake_clock clock;
    host.clock = &clock;
    fake_port port;
    port.answer_ok();
    led_engine engine(file, port);
    ASSERT_NE(sync_of(engine), nullptr);
    const tones t(6, engine.settings, frames, rate);
    const double offset = offset_ms / 1000.0;
    // A player's burst: every chunk at once, none waits for the worker.
    for (const auto& c : t.chunks) engine.offer_chunk(c);
    EXPECT_EQ(sync_of(engine)->pieces_written.load(), 6u) << "every chunk captured";
    ASSERT_TRUE(eventually([&] { return drained(engine); })) << "and measured";
    EXPECT_TRUE(level_writes(port).empty()) << "nothing heard yet";
    const struct {
      int heard;  // the clock stands at this block's time
      std::vector<std::string> sent;
    } steps[] = {
        {0, {t.commands[0]}},
        {1, {t.commands[0], t.commands[1]}},
        {3, {t.commands[0], t.commands[1], t.commands[3]}},  // 2 was due with 3: dropped
        {5, {t.commands[0], t.commands[1], t.commands[3], t.commands[5]}},
    };
    clock.now_s = block_time(0) + offset - 1e-6;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(level_writes(port).empty()) << "not before its time";
    for (const auto& s : steps) {
      clock.now_s = block_time(s.heard) + offset;
      ASSERT_TRUE(eventually([&] { return level_writes(port).size() == s.sent.size(); }));
      EXPECT_EQ(level_writes(port), s.sent) << offset_ms;
    }
  }
}

TEST(sync_mode, seek_pause_and_release) {
  const settings_record file = settings_of(sync_on);
  fake_services host;
  fake_clock clock;
  host.clock = &clock;
  fake_port port;
  port.answer_ok();
  {
    led_engine engine(file, port);
    ASSERT_NE(sync_of(engine), nullptr);
    const tones t(4, engine.settings, frames, rate);
    for (int i = 0; i < 3; ++i) engine.offer_chunk(t.chunks[i]);
    ASSERT_TRUE(eventually([&] { return drained(engine); }));

    // Seek: the stream starts again; what was queued of the old one is dropped.
    engine.restart_stream();
    engine.offer_chunk(t.chunks[3]);
    ASSERT_TRUE(eventually([&] { return drained(engine); }));
    clock.now_s = block_time(0);  // the old stream's first block would be due too
    ASSERT_TRUE(eventually([&] { return level_writes(port).size() == 1; }));
    EXPECT_EQ(level_writes(port)[0], t.commands[3]) << "the new stream's block, at its time";

    // Paused: the clock stands still (or has no answer), so nothing is due.
    clock.now_s = 0.0;
    engine.restart_stream();
    for (int i = 0; i < 2; ++i) engine.offer_chunk(t.chunks[i]);
    ASSERT_TRUE(eventually([&] { return drained(engine); }));
    clock.answering = false;
    clock.now_s = block_time(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(level_writes(port).size(), 1u) << "no answer, nothing sent";
    clock.answering = true;
    ASSERT_TRUE(eventually([&] { return level_writes(port).size() == 2; }));
    EXPECT_EQ(level_writes(port)[1], t.commands[1]);

    // Released with a command still waiting: only the closing command follows.
    engine.offer_chunk(t.chunks[2]);
    ASSERT_TRUE(eventually([&] { return drained(engine); }));
  }
  const auto writes = port.writes_now();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes.back(), "LD\r\n");
  EXPECT_EQ(host.lines(), (lines{"successful com open.", "successful com close."}));
}

// A board pulled out: every level command's status query fails, and says so.
class gone_port : public fake_port {
  bool clear_comm_error(port_handle, uint32_t&) override { return false; }
};

// Sync mode sends 60 or more commands a second: a failing link still says so
// no more often than a cycle of the default mode does (about every 100 ms).
TEST(sync_mode, a_failing_link_says_so_no_faster_than_a_cycle) {
  const settings_record file = settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n");
  fake_services host;
  fake_clock clock;
  host.clock = &clock;
  gone_port port;
  led_engine engine(file, port);
  const auto tone = sine(1000, 0.5, 1024, 2, rate);
  for (unsigned i = 0; i < 2 * rate / 1024; ++i) engine.offer_chunk(chunk_of(tone, 2, rate));
  ASSERT_TRUE(eventually([&] { return drained(engine); }));
  // The clock runs through the first second in real time.
  const auto start = std::chrono::steady_clock::now();
  for (double played = 0.0; played < 1.0;) {
    played = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    clock.now_s = played;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const auto said = host.lines_now();
  const auto failed = std::count(said.begin(), said.end(), "recv failed ClearCommError!");
  EXPECT_GE(failed, 1);
  EXPECT_LE(failed, 12);
}

}  // namespace
}  // namespace fulgora
