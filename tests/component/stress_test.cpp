// Hand-off stress, meant for the ThreadSanitizer build: chunks of changing
// sizes and rates while the worker runs, and instances created and released
// from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "component/dsp_fulgora.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"
#include "tests/support/signals.h"
#include "tools/play/player_host.h"

namespace fulgora {
namespace {

using fulgora_play::chunk_list;  // the stand-in's, holding one chunk
using fulgora_test::fake_port;
using fulgora_test::sine;

// Runs many chunks of varying size and rate through one instance.
int play(dsp& d, int chunks, unsigned seed) {
  static const unsigned rates[] = {44100, 48000, 32000, 96000};
  static const unsigned sizes[] = {4096, 1, 3, 1000, 2048, 8192, 512, 4097};
  const auto samples = sine(1000, 0.5, 8192, 2, 44100);
  int measured_rates = 0;
  for (int i = 0; i < chunks; ++i) {
    const unsigned size = sizes[(i + seed) % 8];
    const unsigned rate = rates[(i / 7 + seed) % 4];
    audio_chunk_impl chunk(samples.data(), size, 2, rate);
    chunk_list list;
    list.set(&chunk);
    d.run(&list, metadb_handle_ptr(), 0);
    measured_rates += list.get_count() == 1;
  }
  return measured_rates;
}

TEST(stress, hand_off_under_load_and_concurrent_instances) {
  const settings_record file =
      fulgora_test::settings_of("[SETTING]\nPORTNAME=COM3\nHI_FREQ=15000\n");
  fulgora_test::fake_services host;

  fake_port port;
  port.answer_ok();
  service_ptr_t<dsp> main;
  main.set(new service_impl_t<dsp_fulgora>(file, port));
  std::atomic<bool> done{false};
  std::vector<std::thread> others;
  std::vector<std::unique_ptr<fake_port>> ports;
  for (int t = 0; t < 3; ++t) ports.push_back(std::make_unique<fake_port>());
  for (int t = 0; t < 3; ++t) {
    fake_port* p = ports[static_cast<size_t>(t)].get();
    p->answer_ok();
    others.emplace_back([p, t, &done, &file] {
      for (int round = 0; round < 20; ++round) {
        service_ptr_t<dsp> d;
        d.set(new service_impl_t<dsp_fulgora>(file, *p));
        EXPECT_EQ(play(*d, 200, static_cast<unsigned>(t)), 200) << "every chunk stays";
      }
    });
  }
  std::thread joiner([&] {
    for (auto& t : others) t.join();
    done = true;
  });
  int played = 0;
  while (!done || port.level_writes().size() < 100) {  // thousands of chunks, many measured
    EXPECT_EQ(play(*main, 1000, static_cast<unsigned>(played)), 1000);
    played += 1000;
    ASSERT_LT(played, 10000000) << "the worker stopped taking blocks";
  }
  joiner.join();
  main.release();
  EXPECT_EQ(port.writes_now().back(), "LD\r\n");
}

}  // namespace
}  // namespace fulgora
