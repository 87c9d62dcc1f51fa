// The player's playback clock for tests: a visualisation manager whose
// streams read a time the test sets. Any thread may set it; the worker reads.
#pragma once

#include <atomic>

#include "host/visualisation.h"

namespace fulgora_test {

class fake_clock : public visualisation_manager, public visualisation_stream {
 public:
  enum class manner { answers, refuses };
  std::atomic<double> now_s{0.0};
  std::atomic<bool> answering{true};  // false: the clock has no answer (nothing plays)
  manner create = manner::answers;
  std::atomic<int> streams_created{0};

  // Both interfaces share the one count; it never destroys anything.
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
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
  bool get_chunk_absolute(audio_chunk&, double, double) override { return false; }
  bool get_spectrum_absolute(audio_chunk&, double, unsigned) override { return false; }
  void make_fake_chunk_absolute(audio_chunk&, double, double) override {}
  void make_fake_spectrum_absolute(audio_chunk&, double, unsigned) override {}
};

}  // namespace fulgora_test
