// The sync worker's CPU while playing: one engine with SYNC=1 at the rate
// given (default 200 a second) plays 192 kHz stereo for a few seconds in real
// time. A modelled player feeds the DSP a buffer ahead of its clock (as the
// player does), steps its clock every 10 ms and serves its played stream from
// what it played. Prints the worker's CPU time (the process's minus this
// thread's; the player's serving runs on the worker, as in the player) and the
// commands the board got. Builds against any tree with the engine's API (the
// script scripts/sync-cpu.sh runs it against the build before the played
// stream too, where the stream is never asked).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/led_engine.h"
#include "tests/support/fake_console.h"
#include "tests/support/fake_port.h"
#include "tests/support/settings_of.h"

namespace {

constexpr unsigned rate = 192000, chunk = 4096;
constexpr double buffer_s = 1.0;

double cpu_s(clockid_t id) {
  timespec t{};
  clock_gettime(id, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The player's clock and played stream: the sound at `now` on its time line.
class player : public visualisation_manager, public visualisation_stream {
 public:
  explicit player(const std::vector<audio_sample>& sound) : sound_(sound) {}
  std::atomic<double> now_s{0.0};
  std::atomic<long> calls{0};
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  void create_stream(service_ptr_t<visualisation_stream>& out, unsigned) override { out.set(this); }
  bool get_absolute_time(double& value) override {
    value = now_s;
    return true;
  }
  bool get_chunk_absolute(audio_chunk& out, double offset, double length) override {
    ++calls;
    const size_t frames_total = sound_.size() / 2;
    const double written = now_s + buffer_s;
    if (offset < 0 || offset >= written) return false;
    const size_t first = static_cast<size_t>(offset * rate);
    size_t frames = static_cast<size_t>(std::min(length, written - offset) * rate);
    frames = std::min(frames, frames_total - std::min(first, frames_total));
    if (frames == 0) return false;
    out.set_data_size(frames * 2);
    std::memcpy(out.get_data(), sound_.data() + 2 * first, frames * 2 * sizeof(audio_sample));
    out.set_sample_count(frames);
    out.set_srate(rate);
    out.set_channels(2, 3);
    return true;
  }
  bool get_spectrum_absolute(audio_chunk&, double, unsigned) override { return false; }
  void make_fake_chunk_absolute(audio_chunk&, double, double) override {}
  void make_fake_spectrum_absolute(audio_chunk&, double, unsigned) override {}

 private:
  const std::vector<audio_sample>& sound_;
};

}  // namespace

int main(int argc, char** argv) {
  const int updates = argc > 1 ? std::atoi(argv[1]) : 200;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 8.0;
  // Music-like: three tones in bursts, so the light rises and falls.
  std::vector<audio_sample> sound(2 * static_cast<size_t>((seconds + buffer_s + 1) * rate));
  for (size_t i = 0; i < sound.size() / 2; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double on = std::fmod(t, 0.5) < 0.25 ? 1.0 : 0.1;
    sound[2 * i] = sound[2 * i + 1] = static_cast<audio_sample>(
        on * 0.3 * (std::sin(2 * 3.14159265 * 200 * t) + std::sin(2 * 3.14159265 * 2000 * t)));
  }
  fulgora_test::fake_services host;
  player p(sound);
  host.clock = &p;
  fulgora_test::fake_port port;
  port.answer_ok();
  const std::string keys =
      "[SETTING]\nPORTNAME=COM3\nSYNC=1\nSYNC_RATE=" + std::to_string(updates) + "\n";
  double worker_s = 0.0;
  {
    fulgora::led_engine engine(fulgora_test::settings_of(keys), port);
    const double cpu0 = cpu_s(CLOCK_PROCESS_CPUTIME_ID), own0 = cpu_s(CLOCK_THREAD_CPUTIME_ID);
    const auto t0 = std::chrono::steady_clock::now();
    size_t fed = 0;  // frames through the DSP
    for (;;) {
      const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (t >= seconds) break;
      p.now_s = std::floor(t / 0.010) * 0.010;
      while (static_cast<double>(fed) / rate < t + buffer_s) {
        engine.offer_chunk(audio_chunk_impl(sound.data() + 2 * fed, chunk, 2, rate));
        fed += chunk;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    worker_s = (cpu_s(CLOCK_PROCESS_CPUTIME_ID) - cpu0) - (cpu_s(CLOCK_THREAD_CPUTIME_ID) - own0);
    engine.stop();
  }
  size_t commands = 0;
  for (const auto& w : port.writes_now()) commands += w.size() == 12 && w[0] == 'S';
  std::printf(
      "SYNC_RATE=%d, %u Hz stereo, %.0f s: worker %.1f ms CPU (%.2f%% of a core), %zu "
      "commands (%.1f a second), %ld reads of the played stream (%.1f a second)\n",
      updates, rate, seconds, 1000 * worker_s, 100 * worker_s / seconds, commands,
      commands / seconds, p.calls.load(), p.calls.load() / seconds);
  return 0;
}
