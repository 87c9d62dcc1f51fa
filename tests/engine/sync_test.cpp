// Sync mode: its keys, its queue, the fallback without a clock, the one
// played stream of the process across a chain swap and a seek, the bounded
// reply lines, and the worker's stop order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/led_engine.h"
#include "engine/sync/command_queue.h"
#include "tests/support/board_record.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

namespace fulgora {
namespace {

using fulgora_test::board_record;
using fulgora_test::chunk_of;
using fulgora_test::dark;
using fulgora_test::eventually;
using fulgora_test::fake_clock;
using fulgora_test::fake_port;
using fulgora_test::fake_services;
using fulgora_test::settings_of;
using fulgora_test::since;
using fulgora_test::sine;
using lines = std::vector<std::string>;
using steady = std::chrono::steady_clock;

constexpr unsigned frames = 16384, rate = 44100;
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
      const auto tone = sine(1000, 0.5, frames, 2, rate);
      engine.offer_chunk(chunk_of(tone, 2, rate));
      EXPECT_TRUE(eventually([&] { return port.level_writes().size() == 1; })) << r.keys;
    }
    EXPECT_EQ(clock.streams_created, 0) << "no stream kept when the mode is off";
    EXPECT_EQ(host.lines(), r.console) << r.keys;
  }
}

// The player: its clock runs in real time from from_s (a seek: set_from).
class running_clock {
 public:
  explicit running_clock(fake_clock& clock, double from_s) : clock_(clock), from_s_(from_s) {
    thread_ = std::thread([this] {
      auto t0 = steady::now();
      while (!stop_) {
        const double from = from_s_.exchange(-1.0);
        if (from >= 0.0) {
          t0 = steady::now() -
               std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(from));
        }
        clock_.now_s =
            std::floor(std::chrono::duration<double>(steady::now() - t0).count() / 0.01) *
            0.01;  // in 10 ms steps, as an output reports
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  void set_from(double s) { from_s_ = s; }
  ~running_clock() {
    stop_ = true;
    thread_.join();
  }

 private:
  fake_clock& clock_;
  std::atomic<double> from_s_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A chain swap: the new instance is built while the old one holds the port,
// the old one released after. Both read the one played stream of the process,
// so the new one lights as soon as it has the port, before the player has run
// a chunk through it (that may come a chunk's length later), and after a seek
// too; the stream goes with the last instance.
TEST(sync_mode, one_played_stream_and_a_swap_lights_at_once) {
  const settings_record file = settings_of("[SETTING]\nPORTNAME=COM_SWAP\nSYNC=1\n");
  fake_services host;
  fake_clock clock;
  host.clock = &clock;
  clock.play(0.0, sine(1000, 0.5, 30 * rate, 2, rate), 2, rate);
  running_clock player(clock, 5.0);
  fake_port old_port, new_port;
  board_record old_board, new_board;
  old_board.attach(old_port);
  new_board.attach(new_port);
  const auto lit = [](const std::string& b) { return b != dark; };
  auto old_engine = std::make_unique<led_engine>(file, old_port);
  fulgora_test::runs(*old_engine);
  ASSERT_TRUE(eventually([&] { return old_board.first(0.0, lit).at >= 0; }));
  auto successor = std::make_unique<led_engine>(file, new_port);
  ASSERT_TRUE(successor->waiting_for_port());
  EXPECT_EQ(clock.streams_created, 1) << "one stream for the process";
  const double released = since(new_board.t0);
  old_engine.reset();
  EXPECT_EQ(clock.references, 1) << "kept while an instance lives";
  ASSERT_TRUE(eventually([&] { return new_board.first(released, lit).at >= 0; }));
  EXPECT_EQ(new_port.level_writes().front().substr(0, 2), "SD");
  EXPECT_NE(new_port.level_writes().front(), dark) << "its first command is the sound's";
  const double gap = new_board.first(released, lit).at - released;
  EXPECT_LT(gap, 0.3) << "lit at once, not after an output buffer";
  // A seek: the clock starts again, the lights go on.
  const double sought = since(new_board.t0);
  player.set_from(0.0);
  ASSERT_TRUE(eventually([&] { return clock.now_s < 1.0; }));
  ASSERT_TRUE(eventually([&] { return new_board.first(sought + 0.05, lit).at >= 0; }));
  successor.reset();
  EXPECT_EQ(clock.references, 0) << "released with the last";
  EXPECT_EQ(clock.fake_calls, 0);
}

// With nothing played for a time it is asked about, no command: and while
// the clock runs with no played audio at all, it says so once.
TEST(sync_mode, no_played_audio_no_command_said_once) {
  const settings_record file = settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n");
  fake_services host;
  fake_clock clock;
  host.clock = &clock;
  fake_port port;
  port.answer_ok();
  led_engine engine(file, port);
  fulgora_test::runs(engine);
  running_clock player(clock, 0.0);
  const lines said = {"successful com open.",
                      "sync: the player gives no played audio, nothing sent."};
  // Without the output's length, a buffer of a second is assumed: 2 s.
  EXPECT_TRUE(eventually([&] { return host.lines_now() == said; }));
  EXPECT_TRUE(port.level_writes().empty());
  EXPECT_TRUE(eventually([&] { return clock.chunk_calls > 20; })) << "it keeps trying";
  clock.play(0.0, sine(1000, 0.5, 30 * rate, 2, rate), 2, rate);
  EXPECT_TRUE(eventually([&] { return !port.level_writes().empty(); }));
  EXPECT_EQ(host.lines_now(), said) << "once";
}

// A board pulled out, and one that answers every command with an error: sync
// mode sends 60 or more commands a second, and says so no more often than a
// cycle of the default mode does (about every 100 ms), each reply's lines
// together; the default mode says it for every command, as always.
class gone_port : public fake_port {
  bool clear_comm_error(port_handle, uint32_t&) override { return false; }
};

TEST(sync_mode, failing_replies_say_so_no_faster_than_a_cycle) {
  struct row {
    const char* keys;
    bool gone;
  };
  for (const row r : {row{"SYNC=1\n", true}, row{"SYNC=1\n", false}, row{"", false}}) {
    const settings_record file = settings_of(std::string("[SETTING]\nPORTNAME=COM3\n") + r.keys);
    fake_services host;
    fake_clock clock;
    host.clock = &clock;
    clock.play(0.0, sine(1000, 0.5, 30 * rate, 2, rate), 2, rate);
    gone_port gone;
    fake_port erring;
    erring.on_write = [&](const std::string&) { erring.answer("ERR\r\n"); };
    fake_port& port = r.gone ? static_cast<fake_port&>(gone) : erring;
    led_engine engine(file, port);
    const bool sync = *r.keys != 0;
    if (sync) fulgora_test::runs(engine);
    if (sync) {
      running_clock player(clock, 0.0);
      EXPECT_TRUE(eventually([&] { return port.level_writes().size() >= 60; }));
    } else {
      const auto tone = sine(1000, 0.5, frames, 2, rate);
      for (int i = 0; i < 20; ++i) {
        engine.offer_chunk(chunk_of(tone, 2, rate));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      EXPECT_TRUE(eventually([&] { return port.level_writes().size() >= 2; }));
    }
    engine.stop();
    const auto said = host.lines_now();
    const size_t commands = port.level_writes().size();
    const char* line = r.gone ? "recv failed ClearCommError!" : "recv res err!";
    const size_t count = static_cast<size_t>(std::count(said.begin(), said.end(), line));
    for (size_t i = 0; i + 1 < said.size(); ++i) {
      if (said[i] != "recv res err!") continue;
      EXPECT_EQ(said[i + 1].substr(0, 3), "ERR") << "together";
    }
    EXPECT_GE(count, 1u) << r.keys;
    if (sync) {
      EXPECT_LE(count, commands / 4 + 2) << "about one line for every 6 commands at 60 a second";
    } else {
      EXPECT_EQ(count, commands + !r.gone) << "the default mode: one per command, and the close";
    }
  }
}

// A level write that hangs until the stop cancels it (a stuck line), with
// how much of the played stream had been read by then.
class stuck_port : public fake_port {
 public:
  explicit stuck_port(const fake_clock& clock) : clock_(clock) {}
  bool write_file(port_handle h, const void* data, uint32_t count, uint32_t& written,
                  const write_limit& limit) override {
    if (static_cast<const char*>(data)[0] == 'S' && !stuck.exchange(true)) {
      eventually([&] { return limit.cancel && limit.cancel->load(); });
      reads_at_stop = clock_.chunk_calls.load();
    }
    return fake_port::write_file(h, data, count, written, limit);
  }
  std::atomic<bool> stuck{false};
  std::atomic<int> reads_at_stop{-1};

 private:
  const fake_clock& clock_;
};

// The stop is checked before each turn: once it is seen nothing more is
// measured, and only what fell due goes out before the closing command. The
// worker hangs in a write of its turn while the clock runs on, so a turn
// after the stop would read the played audio heard meanwhile. (In the
// default mode a worker in its turn takes no block: no pending block can
// meet the stop there.)
TEST(worker_main, nothing_is_measured_once_the_stop_is_seen) {
  fake_services host;
  fake_clock clock;
  host.clock = &clock;
  clock.play(0.0, sine(1000, 0.5, 30 * rate, 2, rate), 2, rate);
  running_clock player(clock, 0.0);
  stuck_port port(clock);
  port.answer_ok();
  led_engine engine(settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n"), port);
  ASSERT_TRUE(eventually([&] { return port.stuck.load(); }));
  const double held_at = clock.now_s;
  ASSERT_TRUE(eventually([&] { return clock.now_s > held_at + 0.1; })) << "the clock runs on";
  engine.stop();
  EXPECT_GE(port.reads_at_stop, 1) << "the stop ended the write";
  EXPECT_EQ(clock.chunk_calls, port.reads_at_stop) << "no played audio read after the stop";
  EXPECT_EQ(port.writes_now().back(), "LD\r\n");
}

}  // namespace
}  // namespace fulgora
