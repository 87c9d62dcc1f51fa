// The audio thread wakes the sync worker only from a sleep without a timer:
// in steady playback the worker's own timer finds each chunk, and the audio
// thread makes no system call. Counted where the POSIX wait is woken: its
// semaphore's post, which this program puts in front of the C library's.
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

namespace {

std::atomic<sem_t*> watched{nullptr};
std::atomic<int> posts{0};

}  // namespace

extern "C" int sem_post(sem_t* s) noexcept {
  static const auto next = reinterpret_cast<int (*)(sem_t*)>(dlsym(RTLD_NEXT, "sem_post"));
  if (s == watched.load()) ++posts;
  return next(s);
}

namespace fulgora {
namespace {

TEST(sync_mode, steady_playback_wakes_no_worker) {
  const settings_record file = fulgora_test::settings_of("[SETTING]\nPORTNAME=COM3\nSYNC=1\n");
  fulgora_test::fake_services host;
  fulgora_test::fake_clock clock;
  host.clock = &clock;
  fulgora_test::fake_port port;
  port.answer_ok();
  led_engine engine(file, port);
  ASSERT_NE(engine.sync, nullptr);
  watched = static_cast<sem_t*>(engine.sync->waker);
  const unsigned rate = 44100, frames = 1024;
  const auto tone = fulgora_test::sine(1000, 0.5, frames, 2, rate);
  const audio_chunk_impl chunk = fulgora_test::chunk_of(tone, 2, rate);
  // Nothing queued, the worker sleeps without a timer: a chunk wakes it (one
  // frame, too short for a command, so it stays so).
  const auto one = fulgora_test::sine(1000, 0.5, 1, 2, rate);
  EXPECT_TRUE(fulgora_test::eventually([&] {
    engine.offer_chunk(fulgora_test::chunk_of(one, 2, rate));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return posts > 0;
  }));
  // Playback with a 0.5 s output buffer: filled at once, then topped up as
  // the clock runs in real time; counted after the first half second.
  const auto start = std::chrono::steady_clock::now();
  double stream_s = 0.0;
  int counted = 0, woken = 0;
  for (double played = 0.0; played < 2.5;) {
    played = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    clock.now_s = played;
    for (; stream_s < played + 0.5; stream_s += double(frames) / rate) {
      if (played < 0.5) {
        engine.offer_chunk(chunk);
        continue;
      }
      const int before = posts;
      engine.offer_chunk(chunk);
      woken += posts - before;
      ++counted;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GE(counted, 80);
  EXPECT_LE(woken, 2) << "of " << counted << " chunks";  // a stalled test may leave it idle
  watched = nullptr;
}

}  // namespace
}  // namespace fulgora
