// The player's playback clock and played stream for tests: a visualisation
// manager whose streams read a time the test sets and serve played audio the
// test lays on the clock's time line. Switches model what the player does not
// promise: no audio ahead of the clock, nothing from before the stream
// existed, dropped spans, chunks shorter than asked, a format change (runs
// of audio of their own), a call that throws. Any thread may set them; the
// workers read.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/visualisation.h"

namespace fulgora_test {

class fake_clock : public visualisation_manager, public visualisation_stream {
 public:
  enum class manner { answers, refuses };
  std::atomic<double> now_s{0.0};
  std::atomic<bool> answering{true};  // false: the clock has no answer (nothing plays)
  manner create = manner::answers;
  std::atomic<int> streams_created{0};
  std::atomic<int> references{0};  // the streams' references the component holds

  // Played audio is served this far past now_s (0: nothing ahead of the
  // clock), and from served_from_s on.
  std::atomic<double> ahead_s{1e9}, served_from_s{-1e9};
  std::atomic<double> short_part{1.0};  // an answer carries this part of what was asked
  std::atomic<int> throw_every{0};      // every n-th call throws; 0: none
  std::atomic<int> chunk_calls{0}, fake_calls{0};
  std::atomic<double> asked_until{-1e9};  // the latest end asked for
  std::atomic<double> last_asked{-1e9};   // the end of the last call

  // A run of interleaved audio from from_s on the time line; a later run
  // ends an earlier one (a format change).
  void play(double from_s, std::vector<audio_sample> samples, unsigned channels, unsigned rate) {
    std::lock_guard<std::mutex> lock(m_);
    runs_.push_back({from_s, std::move(samples), channels, rate});
  }
  // A span the player never serves.
  void drop(double from_s, double to_s) {
    std::lock_guard<std::mutex> lock(m_);
    dropped_.push_back({from_s, to_s});
  }

  int service_release() noexcept override {
    --references;
    return 1;
  }
  int service_add_ref() noexcept override {
    ++references;
    return 1;
  }
  bool service_query(service_ptr&, const GUID&) override { return false; }

  void create_stream(service_ptr_t<visualisation_stream>& out, unsigned) override {
    if (create == manner::refuses) return;
    ++streams_created;
    out.set(this);
  }
  bool get_absolute_time(double& value) override {
    value = now_s;
    return answering;
  }
  bool get_chunk_absolute(audio_chunk& out, double offset, double length) override {
    const int call = ++chunk_calls;
    last_asked = offset + length;
    double asked = asked_until;
    while (offset + length > asked && !asked_until.compare_exchange_weak(asked, offset + length)) {
    }
    if (throw_every > 0 && call % throw_every == 0) throw std::runtime_error("player's fault");
    std::lock_guard<std::mutex> lock(m_);
    const run* r = nullptr;
    double end = 1e9;
    for (const run& each : runs_) {
      if (each.from_s <= offset && (r == nullptr || each.from_s > r->from_s)) r = &each;
      if (each.from_s > offset) end = std::min(end, each.from_s);
    }
    if (r == nullptr) return false;
    const double rate = r->rate;
    end = std::min(
        {end, r->from_s + (r->samples.size() / r->channels) / rate, now_s.load() + ahead_s.load()});
    if (offset < served_from_s) return false;
    for (const auto& d : dropped_) {
      if (offset >= d.first && offset < d.second) return false;
      if (d.first > offset) end = std::min(end, d.first);
    }
    const double available = std::floor((end - offset) * rate + 1e-9);
    const size_t frames = static_cast<size_t>(
        std::max(0.0, std::min(available, std::floor(length * rate * short_part + 0.5))));
    if (frames == 0) return false;
    const size_t first = static_cast<size_t>(std::llround((offset - r->from_s) * rate));
    // As the SDK's set_data fills a chunk: size, copy, count, format.
    const size_t size = frames * r->channels;
    out.set_data_size(size);
    std::memcpy(out.get_data(), r->samples.data() + first * r->channels,
                size * sizeof(audio_sample));
    out.set_sample_count(frames);
    out.set_srate(r->rate);
    out.set_channels(r->channels, 0);
    return true;
  }
  bool get_spectrum_absolute(audio_chunk&, double, unsigned) override { return false; }
  // The SDK's throw on failure; never to be called.
  void make_fake_chunk_absolute(audio_chunk&, double, double) override {
    ++fake_calls;
    throw std::runtime_error("fake chunk");
  }
  void make_fake_spectrum_absolute(audio_chunk&, double, unsigned) override {
    ++fake_calls;
    throw std::runtime_error("fake spectrum");
  }

 private:
  struct run {
    double from_s;
    std::vector<audio_sample> samples;
    unsigned channels, rate;
  };
  std::mutex m_;
  std::vector<run> runs_;
  std::vector<std::pair<double, double>> dropped_;
};

}  // namespace fulgora_test
