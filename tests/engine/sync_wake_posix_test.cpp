// Sync mode in steady playback: the audio thread never wakes the worker (no
// system call on its side); the worker reads the played stream on its own.
// Every semaphore post the audio thread makes while it offers a chunk is
// counted (this program intercepts sem_post): the worker's wait is one.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/led_engine.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tests/support/wait.h"

static thread_local bool offering = false;  // this thread is inside offer_chunk
static std::atomic<int> posts{0};

extern "C" int sem_post(sem_t* s) noexcept {
  static const auto next = reinterpret_cast<int (*)(sem_t*)>(dlsym(RTLD_NEXT, "sem_post"));
  if (offering) ++posts;
  return next(s);
}

namespace fulgora {
namespace {

TEST(sync_mode, steady_playback_wakes_no_worker) {
  fulgora_test::fake_services host;
  fulgora_test::fake_clock clock;
  host.clock = &clock;
  clock.play(0.0, fulgora_test::sine(1000, 0.5, 4 * 44100, 2, 44100), 2, 44100);
  fulgora_test::fake_port port;
  port.answer_ok();
  led_engine engine(fulgora_test::settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n"), port);
  const auto tone = fulgora_test::sine(1000, 0.5, 1024, 2, 44100);
  // A 0.5 s output buffer filled, then topped up as the clock runs.
  const auto start = std::chrono::steady_clock::now();
  int offered = 0;
  for (double played = 0.0, stream_s = 0.0; played < 2.0; stream_s += 1024 / 44100.0) {
    for (; stream_s > played + 0.5; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
      clock.now_s = played =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    offering = true;
    engine.offer_chunk(fulgora_test::chunk_of(tone, 2, 44100));
    offering = false;
    ++offered;
  }
  EXPECT_TRUE(fulgora_test::eventually([&] { return port.writes_now().size() >= 30; }))
      << "it measures and sends all the same";
  EXPECT_GE(offered, 80);
  EXPECT_EQ(posts, 0) << "of " << offered;  // the audio thread wakes nothing; the stop does
}

}  // namespace
}  // namespace fulgora
