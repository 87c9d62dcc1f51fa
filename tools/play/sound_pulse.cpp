// The sound card through the PulseAudio client library (PipeWire desktops
// serve it too): a threaded main loop and one playback stream, so writes
// never wait on the server and the stream's timing report, interpolated
// between updates, gives the played position at any moment, from any thread.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/play/sound_output.h"

namespace fulgora_play {
namespace {

// The library's own threads call back here: wake whoever waits on a state.
void wake(pa_threaded_mainloop* loop) { pa_threaded_mainloop_signal(loop, 0); }
void context_changed(pa_context*, void* loop) { wake(static_cast<pa_threaded_mainloop*>(loop)); }
void stream_changed(pa_stream*, void* loop) { wake(static_cast<pa_threaded_mainloop*>(loop)); }

class locked {
 public:
  explicit locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~locked() { pa_threaded_mainloop_unlock(loop_); }
  locked(const locked&) = delete;
  locked& operator=(const locked&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

void forget(pa_operation* op) {
  if (op) pa_operation_unref(op);
}

class pulse_output final : public sound_output {
 public:
  ~pulse_output() override { close(); }

  bool open(unsigned rate, unsigned channels, double buffer_s, std::string& why) {
    spec_.format = PA_SAMPLE_FLOAT32NE;
    spec_.rate = rate;
    spec_.channels = static_cast<uint8_t>(std::min(channels, 255u));
    if (channels > PA_CHANNELS_MAX || !pa_sample_spec_valid(&spec_))
      return why = "the audio server takes no stream of this format", false;
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) return why = "cannot start the sound library", false;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "fulgora-play");
    if (!context_) return why = "cannot start the sound library", false;
    pa_context_set_state_callback(context_, context_changed, loop_);
    // Never autospawn a server on the user's behalf.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop_) < 0)
      return why = pa_strerror(pa_context_errno(context_)), false;
    locked lock(loop_);
    pa_context_state_t state;
    while ((state = pa_context_get_state(context_)) != PA_CONTEXT_READY) {
      if (!PA_CONTEXT_IS_GOOD(state)) return why = pa_strerror(pa_context_errno(context_)), false;
      pa_threaded_mainloop_wait(loop_);
    }
    return connect_stream(buffer_s, why);
  }

  bool wants_more() override {
    locked lock(loop_);
    // A lost stream takes the next write, which reports it.
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) return true;
    refresh_timing();
    const size_t room = pa_stream_writable_size(stream_);
    if (room != static_cast<size_t>(-1) && room > 0) return true;
    // The server asks for more only as its sink takes audio, which a sink
    // with long blocks does late: topped up to the buffer's length by the
    // latency report instead, as the player's own output does.
    pa_usec_t held = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &held, &negative) != 0) return false;
    if (negative || static_cast<double>(held) / 1e6 < target_s_) return true;
    start();
    return false;
  }

  bool write(const audio_sample* samples, size_t frames) override {
    buffer_.assign(samples, samples + frames * spec_.channels);
    locked lock(loop_);
    if (pa_stream_get_state(stream_) != PA_STREAM_READY ||
        pa_stream_write(stream_, buffer_.data(), buffer_.size() * sizeof(float), nullptr, 0,
                        PA_SEEK_RELATIVE) < 0)
      return false;
    written_ += frames;
    return true;
  }

  void pause(bool paused) override {
    locked lock(loop_);
    if (!started_) return;
    forget(pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr));
  }

  void flush() override {
    locked lock(loop_);
    forget(pa_stream_flush(stream_, nullptr, nullptr));
    forget(pa_stream_update_timing_info(stream_, nullptr, nullptr));
    // A drain asked for before (a seek once all was written) is no answer
    // for what comes after.
    forget(drain_);
    drain_ = nullptr;
    written_ = 0;
    heard_ = 0;
  }

  void finish() override {
    locked lock(loop_);
    start();
    if (drain_) return;
    drain_ = pa_stream_drain(stream_, nullptr, nullptr);
    drain_heard_ = -1;
  }

  bool drained() override {
    locked lock(loop_);
    if (!drain_ || pa_operation_get_state(drain_) != PA_OPERATION_RUNNING) return true;
    // A server that stalls (a stream left in underrun) may never answer the
    // drain: done too once the played position has stood for two seconds.
    const double heard = heard_clock();
    const auto now = std::chrono::steady_clock::now();
    if (heard != drain_heard_) {
      drain_heard_ = heard;
      drain_moved_ = now;
    }
    return now - drain_moved_ > std::chrono::seconds(2);
  }

  double heard_clock() override {
    locked lock(loop_);
    pa_usec_t held = 0;
    int negative = 0;
    // No report yet (at the start, just after a flush): the clock stands.
    if (pa_stream_get_latency(stream_, &held, &negative) == 0) {
      const double held_s = negative ? -static_cast<double>(held) / 1e6 : held / 1e6;
      const double played = static_cast<double>(written_) / spec_.rate - held_s;
      heard_ = std::max(heard_, played);
    }
    return heard_;
  }

  std::string device() const override { return device_; }

 private:
  bool connect_stream(double buffer_s, std::string& why) {
    stream_ = pa_stream_new(context_, "fulgora-play", &spec_, nullptr);
    if (!stream_) return why = pa_strerror(pa_context_errno(context_)), false;
    pa_stream_set_state_callback(stream_, stream_changed, loop_);
    pa_buffer_attr attr;
    attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = static_cast<uint32_t>(-1);
    // The whole way to the speaker, the device's own buffer included.
    attr.tlength = static_cast<uint32_t>(std::max<size_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(buffer_s * 1e6), &spec_), pa_frame_size(&spec_)));
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                       PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    // The library takes the output from PULSE_SINK: one the server does
    // not know is named, not left as "no such entity".
    const auto failed = [&] {
      const int error = pa_context_errno(context_);
      const char* sink = std::getenv("PULSE_SINK");
      why = error == PA_ERR_NOENTITY && sink && *sink
                ? std::string("the audio server has no output PULSE_SINK=") + sink +
                      "; pactl list short sinks names those there are"
                : pa_strerror(error);
      return false;
    };
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0)
      return failed();
    pa_stream_state_t state;
    while ((state = pa_stream_get_state(stream_)) != PA_STREAM_READY) {
      if (!PA_STREAM_IS_GOOD(state)) return failed();
      pa_threaded_mainloop_wait(loop_);
    }
    const pa_buffer_attr* got = pa_stream_get_buffer_attr(stream_);
    // Never past what the server's queue holds.
    target_s_ = std::min(buffer_s, pa_bytes_to_usec(got->maxlength, &spec_) / 2e6);
    const char* name = pa_stream_get_device_name(stream_);
    device_ = name ? name : "the default device";
    return true;
  }

  // Connected corked, the stream starts once its buffer is full: the
  // library's interpolation then starts from a report of a stream that
  // stands, not of one that starts while it is asked. Lock held.
  void start() {
    if (started_) return;
    started_ = true;
    forget(pa_stream_cork(stream_, 0, nullptr, nullptr));
    forget(pa_stream_update_timing_info(stream_, nullptr, nullptr));
  }

  // The library's own timing updates grow sparse (up to seconds apart), and
  // its interpolation drifts from the start's report by tens of ms between
  // them: one asked for every 20 ms keeps the clock within a millisecond or
  // two. Main loop's lock held.
  void refresh_timing() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_update_ < std::chrono::milliseconds(20)) return;
    if (update_ && pa_operation_get_state(update_) == PA_OPERATION_RUNNING) return;
    forget(update_);
    update_ = pa_stream_update_timing_info(stream_, nullptr, nullptr);
    last_update_ = now;
  }

  // Drains nothing: what the server still holds goes with the stream.
  void close() {
    if (!loop_) return;
    {
      locked lock(loop_);
      forget(drain_);
      forget(update_);
      if (stream_) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
      }
      if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
      }
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
  }

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  pa_operation* drain_ = nullptr;
  pa_operation* update_ = nullptr;
  std::chrono::steady_clock::time_point last_update_;
  double drain_heard_ = -1;  // the played position while draining, and since when
  std::chrono::steady_clock::time_point drain_moved_;
  pa_sample_spec spec_{};
  std::string device_;
  std::vector<float> buffer_;
  // Guarded by the main loop's lock.
  uint64_t written_ = 0;  // frames since the start or the last flush
  double heard_ = 0;
  double target_s_ = 0;  // the buffer's length, in what the server holds
  bool started_ = false;
};

}  // namespace

std::unique_ptr<sound_output> open_sound(unsigned rate, unsigned channels, double buffer_s,
                                         std::string& why) {
  auto out = std::make_unique<pulse_output>();
  if (!out->open(rate, channels, buffer_s, why)) return nullptr;
  return out;
}

}  // namespace fulgora_play
