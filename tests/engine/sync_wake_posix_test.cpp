// Sync mode in steady playback: the worker's timer finds each chunk, the
// audio thread wakes it (a system call) only from a sleep without one.
// Counted at the POSIX wait's semaphore, whose post this program intercepts.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/led_engine.h"
#include "tests/support/engine_modes.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

static std::atomic<void*> watched{nullptr};
static std::atomic<int> posts{0};

extern "C" int sem_post(sem_t* s) noexcept {
  static const auto next = reinterpret_cast<int (*)(sem_t*)>(dlsym(RTLD_NEXT, "sem_post"));
  if (s == watched.load()) ++posts;
  return next(s);
}

namespace fulgora {
namespace {

TEST(sync_mode, steady_playback_wakes_no_worker) {
  fulgora_test::fake_services host;
  fulgora_test::fake_clock clock;
  host.clock = &clock;
  fulgora_test::fake_port port;
  port.answer_ok();
  led_engine engine(fulgora_test::settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n"), port);
  watched = fulgora_test::sync_of(engine)->waker;
  const auto tone = fulgora_test::sine(1000, 0.5, 1024, 2, 44100);
  const auto one = fulgora_test::sine(1000, 0.5, 1, 2, 44100);  // too short for a command
  // With nothing to send the worker sleeps without a timer: a chunk wakes it.
  EXPECT_TRUE(fulgora_test::eventually([&] {
    engine.offer_chunk(fulgora_test::chunk_of(one, 2, 44100));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return posts > 0;
  }));
  // A 0.5 s output buffer filled, then topped up as the clock runs; counted
  // after its first half second, and only where the queue cannot have run
  // dry: a chunk that this thread, held up, offers late may wake the worker.
  const auto start = std::chrono::steady_clock::now();
  int counted = 0, woken = 0;
  double offered_at = 0.0;
  for (double played = 0.0, stream_s = 0.0; played < 2.5; stream_s += 1024 / 44100.0) {
    for (; stream_s > played + 0.5; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
      clock.now_s = played =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int before = posts;
    engine.offer_chunk(fulgora_test::chunk_of(tone, 2, 44100));
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool held_up = now - offered_at > 0.25;
    offered_at = now;
    if (played < 0.5 || held_up) continue;
    woken += posts - before;
    ++counted;
  }
  EXPECT_GE(counted, 80);
  EXPECT_LE(woken, 2) << "of " << counted;
}

}  // namespace
}  // namespace fulgora
