// The stand-in's side of the player: its services interface with one console
// receiver that writes each line to standard output, the playback clock of
// the modelled output, and a chunk list.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/console.h"
#include "host/dsp.h"
#include "host/output.h"
#include "host/service.h"
#include "host/visualisation.h"
#include "tools/play/live_view.h"
#include "tools/play/output_model.h"
#include "tools/play/sound_output.h"

namespace fulgora_play {

// Lines come from the creating, the audio and the worker threads.
class stdout_console final : public console_receiver {
 public:
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  void print(const char* text, size_t length) override {
    const std::string line = length == ~size_t{0} ? std::string(text) : std::string(text, length);
    if (line.rfind("recv", 0) == 0) ++reply_errors;
    view->line(printable_line(line));
    // Why the port does not open, in a line of the stand-in's own.
    const std::string why =
        port_trouble && line.rfind("failed CreateFile.", 0) == 0 ? port_trouble() : "";
    if (!why.empty()) view->aside("fulgora-play: " + why + "\n");
    std::lock_guard<std::mutex> lock(m_);
    if (first_lines_.size() < 6) first_lines_.push_back(printable_line(line));
  }
  // The first lines the component said (for a picture of a run that sent
  // nothing).
  std::vector<std::string> first_lines() {
    std::lock_guard<std::mutex> lock(m_);
    return first_lines_;
  }
  live_view* view = nullptr;
  // Why the port named now does not open; set before the component loads.
  std::function<std::string()> port_trouble;
  std::atomic<long> reply_errors{0};

 private:
  std::mutex m_;
  std::vector<std::string> first_lines_;
};

// The player's visualisation manager: its streams tell the heard clock of
// the sound card where it plays, else of the modelled output, on the
// stand-in's own time line, and serve the played audio (played_audio) on
// the clock's time line.
class playback_clock final : public visualisation_manager {
 public:
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  // Each call a stream of its own, as the player makes them; it lives
  // while the component holds it.
  void create_stream(service_ptr_t<visualisation_stream>& out, unsigned) override;
  // What every stream's get_absolute_time says.
  bool get_absolute_time(double& value) const {
    sound_output* card = sound.load();
    value = card ? card->heard_clock() : output->heard_clock(since_start());
    // As an output that reports its position per write: the last step's time.
    if (step_s > 0) value = std::floor(value / step_s) * step_s;
    return true;
  }
  double since_start() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  const output_model* output = nullptr;
  const played_audio* played = nullptr;       // what get_chunk_absolute serves
  std::atomic<sound_output*> sound{nullptr};  // gone when the card stops answering
  std::chrono::steady_clock::time_point start;
  double step_s = 0;  // --clock-step
};

// One stream of the manager. Any thread may call it; the component's
// workers do, two during a chain swap. The player promises nothing for two
// calls at once on one stream: it counts them and says so when it goes.
class played_stream final : public visualisation_stream {
 public:
  played_stream(const playback_clock& clock, double opened) : clock_(clock), opened_(opened) {}
  ~played_stream() {
    if (overlaps_ > 0)
      std::fprintf(stderr,
                   "fulgora-play: %ld calls of a visualisation stream came while another "
                   "was still in it\n",
                   overlaps_.load());
  }
  int service_release() noexcept override {
    const int left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  int service_add_ref() noexcept override { return ++refs_; }
  bool service_query(service_ptr& out, const GUID& guid) override {
    if (guid != visualisation_stream::class_guid) return false;
    out.set(this);
    return true;
  }
  bool get_absolute_time(double& value) override {
    const one_call call(*this);
    return clock_.get_absolute_time(value);
  }
  bool get_chunk_absolute(audio_chunk& out, double offset, double length) override {
    const one_call call(*this);
    double now = 0;
    clock_.get_absolute_time(now);
    return clock_.played &&
           clock_.played->serve(out, offset, length, now, opened_, clock_.since_start());
  }
  bool get_spectrum_absolute(audio_chunk&, double, unsigned) override { return false; }
  // They throw, as the SDK says the player's do; a DSP has no use for them.
  void make_fake_chunk_absolute(audio_chunk&, double, double) override {
    throw std::runtime_error("fulgora-play: make_fake_chunk_absolute is not for a DSP");
  }
  void make_fake_spectrum_absolute(audio_chunk&, double, unsigned) override {
    throw std::runtime_error("fulgora-play: make_fake_spectrum_absolute is not for a DSP");
  }

  long overlaps() const { return overlaps_; }

 private:
  struct one_call {
    explicit one_call(played_stream& s) : s_(s) {
      if (s_.inside_++ > 0) ++s_.overlaps_;
    }
    ~one_call() { --s_.inside_; }
    played_stream& s_;
  };
  const playback_clock& clock_;
  const double opened_;  // the stand-in's seconds
  std::atomic<int> refs_{0}, inside_{0};
  std::atomic<long> overlaps_{0};
};

// The player's output settings: the modelled output's buffer length.
class output_settings final : public output_manager {
 public:
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  void instantiate_core_default_slot() override { std::abort(); }  // the component never asks
  void get_core_config(void* out, size_t size) override {
    output_core_config config{};
    config.buffer_length = output->buffer_s();
    std::memcpy(out, &config, std::min(size, sizeof config));
  }
  const output_model* output = nullptr;
};

class player_services final : public foobar2000_api {
 public:
  service_class_ref service_enum_find_class(const GUID& guid) override {
    if (guid == visualisation_manager::class_guid && clock.output) return &clock;
    if (guid == output_manager::class_guid && clock.output) return &output;
    return guid == console_receiver::class_guid ? &console : nullptr;
  }
  bool service_enum_create(service_ptr& out, service_class_ref clazz, size_t index) override {
    if (index != 0) return false;
    if (clazz == &clock) {
      out.set(static_cast<visualisation_manager*>(&clock));
      return true;
    }
    if (clazz == &output && clock.output) {
      output.output = clock.output;
      out.set(&output);
      return true;
    }
    if (clazz != &console) return false;
    out.set(&console);
    return true;
  }
  size_t service_enum_get_count(service_class_ref clazz) override {
    return (clazz == &console) + ((clazz == &clock || clazz == &output) && clock.output != nullptr);
  }
  void* get_main_window() override { return nullptr; }
  bool assert_main_thread() override { return true; }
  bool is_main_thread() override { return true; }
  bool is_shutting_down() override { return false; }
  // No profile folder: FULGORA_INI, components/ or beside the library serve.
  const char* get_profile_path() override { return ""; }
  bool is_initializing() override { return false; }
  bool is_portable_mode_enabled() override { return false; }
  bool is_quiet_mode_enabled() override { return false; }
  stdout_console console;
  playback_clock clock;    // offered while an output is modelled
  output_settings output;  // likewise
};

class chunk_list final : public dsp_chunk_list {
 public:
  size_t get_count() const override { return chunks_.size(); }
  audio_chunk* get_item(size_t index) const override { return chunks_[index]; }
  void remove_by_idx(size_t index) override {
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  // The component only ever removes single chunks.
  void remove_mask(const pfc::bit_array&) override { std::abort(); }
  audio_chunk* insert_item(size_t, size_t) override { std::abort(); }
  void set(audio_chunk* chunk) { chunks_.assign(1, chunk); }

 private:
  std::vector<audio_chunk*> chunks_;
};

}  // namespace fulgora_play
