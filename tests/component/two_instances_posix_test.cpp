// Two DSP instances configured for one port, on a pseudo-terminal, as the
// player's chain swap makes them: the new one is built while the old one
// holds the port, and takes it when the old one is released.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "component/dsp_fulgora.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/pty.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"
#include "tools/play/player_host.h"

namespace fulgora {
namespace {

using fulgora_play::chunk_list;  // the stand-in's, holding one chunk

using fulgora_test::pty_board;

// Runs the instances with a loud chunk until what the board received passes
// seen.
template <typename Seen>
bool play_until_seen(pty_board& b, std::initializer_list<dsp*> instances, Seen seen) {
  const auto tone = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
  audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, 44100);
  return fulgora_test::eventually([&] {
    for (dsp* d : instances) {
      chunk_list list;
      list.set(&chunk);
      d->run(&list, metadb_handle_ptr(), 0);
    }
    b.serve();
    return seen(b.received);
  });
}

// ... until the board has seen `commands` commands in all.
bool play_until(pty_board& b, std::initializer_list<dsp*> instances, size_t commands) {
  return play_until_seen(b, instances, [&](const std::string& received) {
    size_t lines = 0;
    for (char c : received) lines += c == '\n';
    return lines >= commands;
  });
}

TEST(two_instances, the_new_instance_takes_the_port_when_the_old_one_lets_go) {
  pty_board b;
  ASSERT_GE(b.board, 0);
  // The new chain's instance names the port through a link: the same device.
  const std::string link = std::string(testing::TempDir()) + "fulgora-two-instances-link";
  std::remove(link.c_str());
  ASSERT_EQ(symlink(b.path.c_str(), link.c_str()), 0);
  fulgora_test::fake_services host;

  service_ptr_t<dsp> old_one, new_one;
  old_one.set(new service_impl_t<dsp_fulgora>(
      fulgora_test::settings_of("[SETTING]\nPORTNAME=" + b.path + "\n")));
  ASSERT_TRUE(play_until(b, {old_one.get()}, 1));
  new_one.set(new service_impl_t<dsp_fulgora>(
      fulgora_test::settings_of("[SETTING]\nPORTNAME=" + link + "\n")));
  EXPECT_EQ(host.lines_now(), std::vector<std::string>{"successful com open."})
      << "the waiting instance does not try the port";
  ASSERT_TRUE(play_until(b, {new_one.get(), old_one.get()}, 2));

  // The player's order: the old chain's last run with FLUSH, then its release.
  chunk_list none;
  old_one->run(&none, metadb_handle_ptr(), dsp::FLUSH);
  old_one.release();
  ASSERT_TRUE(fulgora_test::eventually([&] { return host.lines_now().size() >= 3; }));
  EXPECT_EQ(host.lines_now(),
            (std::vector<std::string>{"successful com open.", "successful com close.",
                                      "successful com open."}));
  // The old one may send any number of commands before it lets go: wait
  // for one after its closing command.
  const auto lit_after_ld = [](const std::string& received) {
    const size_t ld = received.find("LD\r\n");
    return ld != std::string::npos && received.find("SD", ld) != std::string::npos;
  };
  EXPECT_TRUE(play_until_seen(b, {new_one.get()}, lit_after_ld)) << "the new instance lights";
  const size_t ld = b.received.find("LD\r\n");
  ASSERT_NE(ld, std::string::npos) << b.received;
  EXPECT_EQ(b.received.rfind("SD", ld), ld - 12) << "nothing of the new instance before LD";
  new_one.release();
  EXPECT_EQ(host.lines_now().back(), "successful com close.");
  std::remove(link.c_str());
}

// A converter's chain (or a second chain) built while playback drives the
// board: playback has measured audio and keeps the port; the other waits and
// says so once.
TEST(two_instances, a_holder_that_stays_leaves_the_other_dark_and_says_so_once) {
  pty_board b;
  ASSERT_GE(b.board, 0);
  const settings_record file = fulgora_test::settings_of("[SETTING]\nPORTNAME=" + b.path + "\n");
  fulgora_test::fake_services host;
  service_ptr_t<dsp> first, second;
  first.set(new service_impl_t<dsp_fulgora>(file));
  ASSERT_TRUE(play_until(b, {first.get()}, 1));
  second.set(new service_impl_t<dsp_fulgora>(file));
  ASSERT_TRUE(fulgora_test::eventually([&] { return host.lines_now().size() >= 2; }));
  ASSERT_TRUE(play_until(b, {second.get(), first.get()}, 3));
  EXPECT_EQ(host.lines_now(), (std::vector<std::string>{"successful com open.",
                                                        "com port in use by another instance."}));
  second.release();
  EXPECT_EQ(host.lines_now().size(), 2u) << "an instance that never opened ends silently";
  b.serve();
  EXPECT_EQ(b.received.find("LD"), std::string::npos) << "and sends no closing command";
  first.release();
  EXPECT_EQ(host.lines_now().back(), "successful com close.");
}

// The player's pace: each playback instance gets audio as it is heard (half
// a second ahead), a converter's as fast as the loop goes.
class paced_chains {
 public:
  paced_chains(pty_board& b, fulgora_test::fake_clock* clock) : b_(b), clock_(clock) {}
  dsp* playback = nullptr;
  dsp* converter = nullptr;

  template <typename Seen>
  bool play_until(Seen seen) {
    return fulgora_test::eventually(
        [&] {
          step();
          return seen();
        },
        40.0);
  }

 private:
  void step() {
    const double now = std::chrono::duration<double>(steady::now() - t0_).count();
    if (clock_) clock_->now_s = now;
    for (; playback && offered_s_ < now + 0.5; offered_s_ += 4096.0 / 44100) run(playback);
    for (int i = 0; converter && i < 2; ++i) run(converter);
    b_.serve();
  }
  void run(dsp* d) {
    chunk_list list;
    list.set(&chunk_);
    d->run(&list, metadb_handle_ptr(), 0);
  }
  using steady = std::chrono::steady_clock;
  pty_board& b_;
  fulgora_test::fake_clock* clock_;
  const std::vector<audio_sample> tone_ = fulgora_test::sine(1000, 0.5, 4096, 2, 44100);
  audio_chunk_impl chunk_ = fulgora_test::chunk_of(tone_, 2, 44100);
  const steady::time_point t0_ = steady::now();
  double offered_s_ = 0.0;
};

size_t count_of(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

// A converter's chain built at any moment of a chain swap: playback keeps the
// port, or gets it back once the pace shows which is which (the converter's
// chunks come far faster than real time). Right after the release the new
// instance holds the port with nothing measured (the player runs the new
// chain after it released the old one), as the first of two copies in one
// chain would: it once stepped aside and playback stayed dark.
TEST(two_instances, playback_keeps_the_port_against_a_converter_built_during_a_swap) {
  const std::string in_use = "com port in use by another instance.";
  const std::string open = "successful com open.", close = "successful com close.";
  for (const char* mode : {"", "SYNC=1\n"}) {
    for (const bool before_release : {false, true}) {
      SCOPED_TRACE(std::string(mode) + (before_release ? "before the release" : "after it"));
      pty_board b;
      ASSERT_GE(b.board, 0);
      const settings_record file =
          fulgora_test::settings_of("[SETTING]\nPORTNAME=" + b.path + "\n" + mode);
      fulgora_test::fake_services host;
      fulgora_test::fake_clock clock;
      if (*mode) {
        host.clock = &clock;
        // Sync mode lights from what is played: a minute of the tone on the clock.
        clock.play(0.0, fulgora_test::sine(1000, 0.5, 60 * 44100, 2, 44100), 2, 44100);
      }
      paced_chains player(b, *mode ? &clock : nullptr);
      service_ptr_t<dsp> old_one, new_one, converter;
      old_one.set(new service_impl_t<dsp_fulgora>(file));
      player.playback = old_one.get();
      ASSERT_TRUE(player.play_until([&] { return b.received.find('\n') != std::string::npos; }));
      new_one.set(new service_impl_t<dsp_fulgora>(file));
      if (before_release) converter.set(new service_impl_t<dsp_fulgora>(file));
      chunk_list none;
      old_one->run(&none, metadb_handle_ptr(), dsp::FLUSH);
      old_one.release();
      if (!before_release) {
        ASSERT_TRUE(
            fulgora_test::eventually([&] { return count_of(host.lines_now(), open) == 2; }));
        converter.set(new service_impl_t<dsp_fulgora>(file));
      }
      player.playback = new_one.get();
      player.converter = converter.get();
      // Done when the converter has waited long enough to say so and
      // playback lights the board after the last closing command.
      ASSERT_TRUE(player.play_until([&] {
        const std::vector<std::string> now = host.lines_now();
        const size_t ld = b.received.rfind("LD\r\n");
        return count_of(now, in_use) == (before_release ? 2u : 1u) && ld != std::string::npos &&
               b.received.size() >= ld + 4 + 10 * 12;
      })) << b.received;
      converter.release();  // the conversion ends
      new_one.release();
      std::vector<std::string> said = host.lines_now();
      said.erase(std::remove(said.begin(), said.end(), in_use), said.end());
      // Before the release the converter is the newest waiter and opens
      // first, then gives way to playback.
      EXPECT_EQ(said, before_release
                          ? (std::vector<std::string>{open, close, open, close, open, close})
                          : (std::vector<std::string>{open, close, open, close}));
    }
  }
}

// The same DSP twice in one chain: both are built before any audio. The
// newer (later in the chain, nearer what is heard) drives the board; the
// first steps aside before it sent anything, so the board sees one closing
// command, at the end (it once got open, close, open, close and two).
TEST(two_instances, two_copies_in_one_chain_the_newer_drives_the_board) {
  pty_board b;
  ASSERT_GE(b.board, 0);
  const settings_record file = fulgora_test::settings_of("[SETTING]\nPORTNAME=" + b.path + "\n");
  fulgora_test::fake_services host;
  service_ptr_t<dsp> first, second;
  first.set(new service_impl_t<dsp_fulgora>(file));
  second.set(new service_impl_t<dsp_fulgora>(file));
  ASSERT_TRUE(fulgora_test::eventually([&] { return host.lines_now().size() >= 3; }));
  ASSERT_TRUE(play_until(b, {first.get(), second.get()}, 3));
  ASSERT_TRUE(fulgora_test::eventually([&] { return host.lines_now().size() >= 4; }));
  EXPECT_EQ(host.lines_now(), (std::vector<std::string>{
                                  "successful com open.", "successful com close.",
                                  "successful com open.", "com port in use by another instance."}));
  dsp_fulgora* newer = static_cast<dsp_fulgora*>(second.get());
  EXPECT_TRUE(newer->engine().holds_port());
  // The player releases the chain in order.
  first.release();
  second.release();
  EXPECT_EQ(host.lines_now().size(), 5u);
  EXPECT_EQ(host.lines_now().back(), "successful com close.");
  b.serve();
  const size_t ld = b.received.find("LD\r\n");
  ASSERT_NE(ld, std::string::npos) << b.received;
  EXPECT_EQ(ld + 4, b.received.size()) << "one closing command, the last bytes: " << b.received;
}

}  // namespace
}  // namespace fulgora
