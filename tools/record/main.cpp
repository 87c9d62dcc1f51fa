// fulgora-record: records an audio server's source (a sink's monitor) as
// float32 and stamps each fragment on the system's monotonic clock: the time
// its first frame was captured, from the recording stream's latency report,
// so the recording joins fulgora-board --monotonic's log.
// usage: fulgora-record SOURCE RATE CHANNELS SECONDS OUT.raw STAMPS.txt
// Prints "recording" once the stream runs; ends after SECONDS or on SIGTERM.
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tools/common/outputs.h"

namespace {

struct recording {
  pa_threaded_mainloop* loop = nullptr;
  std::vector<float> samples;
  size_t capacity = 0;  // samples
  unsigned channels = 0, rate = 0;
  std::vector<std::pair<size_t, double>> stamps;  // first frame, seconds
};

void wake(pa_context*, void* r) {
  pa_threaded_mainloop_signal(static_cast<recording*>(r)->loop, 0);
}
void wake_stream(pa_stream*, void* r) {
  pa_threaded_mainloop_signal(static_cast<recording*>(r)->loop, 0);
}

// Runs on the library's thread, with its lock held.
void on_read(pa_stream* s, size_t, void* user) {
  auto& r = *static_cast<recording*>(user);
  const void* data = nullptr;
  size_t bytes = 0;
  while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
    const double now = fulgora::monotonic_seconds();
    pa_usec_t latency = 0;
    int negative = 0;
    // The next frame to read was captured `latency` ago.
    if (data && pa_stream_get_latency(s, &latency, &negative) == 0) {
      const double held = (negative ? -1.0 : 1.0) * static_cast<double>(latency) / 1e6;
      r.stamps.emplace_back(r.samples.size() / r.channels, now - held);
    }
    const size_t n = bytes / sizeof(float);
    if (r.samples.size() + n <= r.capacity) {
      if (data) {
        const auto* f = static_cast<const float*>(data);
        r.samples.insert(r.samples.end(), f, f + n);
      } else {
        r.samples.insert(r.samples.end(), n, 0.0f);  // a hole: silence
      }
    }
    pa_stream_drop(s);
  }
}

int fail(const char* what, pa_context* c) {
  std::fprintf(stderr, "fulgora-record: %s: %s\n", what, c ? pa_strerror(pa_context_errno(c)) : "");
  return 1;
}

const char* const usage =
    "usage: fulgora-record SOURCE RATE CHANNELS SECONDS OUT.raw STAMPS.txt\n"
    "Records the audio server's SOURCE (a sink's monitor, as NAME.monitor) for\n"
    "SECONDS (or until SIGTERM) as float32 samples to OUT.raw, and to STAMPS.txt\n"
    "one line per fragment: its first frame and when it was captured, in seconds\n"
    "on the system's monotonic clock. Both outputs must be free paths (raw audio\n"
    "carries no mark that would tell it is this tool's).\n";

// The context, connected to the audio server; null once it said why not.
pa_context* connect(recording& r) {
  pa_context* c = pa_context_new(pa_threaded_mainloop_get_api(r.loop), "fulgora-record");
  pa_context_set_state_callback(c, wake, &r);
  if (pa_context_connect(c, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(r.loop) < 0)
    return fail("cannot reach the audio server", c), nullptr;
  pa_threaded_mainloop_lock(r.loop);
  while (pa_context_get_state(c) != PA_CONTEXT_READY) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c))) {
      pa_threaded_mainloop_unlock(r.loop);
      return fail("cannot reach the audio server", c), nullptr;
    }
    pa_threaded_mainloop_wait(r.loop);
  }
  pa_threaded_mainloop_unlock(r.loop);
  return c;
}

// The recording stream of source, running; null once it said why not.
pa_stream* record_from(recording& r, pa_context* c, const char* source) {
  pa_threaded_mainloop_lock(r.loop);
  pa_sample_spec format{PA_SAMPLE_FLOAT32NE, r.rate, static_cast<uint8_t>(r.channels)};
  pa_stream* s = pa_stream_new(c, "fulgora-record", &format, nullptr);
  if (!s) {
    pa_threaded_mainloop_unlock(r.loop);
    return fail("cannot make the stream", c), nullptr;
  }
  pa_stream_set_state_callback(s, wake_stream, &r);
  pa_stream_set_read_callback(s, on_read, &r);
  pa_buffer_attr attr;
  attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(5000, &format));  // 5 ms fragments
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
  bool ok = pa_stream_connect_record(s, source, &attr, flags) >= 0;
  while (ok && pa_stream_get_state(s) != PA_STREAM_READY) {
    ok = PA_STREAM_IS_GOOD(pa_stream_get_state(s));
    if (ok) pa_threaded_mainloop_wait(r.loop);
  }
  pa_threaded_mainloop_unlock(r.loop);
  return ok ? s : (fail("cannot record", c), nullptr);
}

void disconnect(recording& r, pa_context* c, pa_stream* s) {
  pa_threaded_mainloop_lock(r.loop);
  pa_stream_disconnect(s);
  pa_stream_unref(s);
  pa_context_disconnect(c);
  pa_context_unref(c);
  pa_threaded_mainloop_unlock(r.loop);
  pa_threaded_mainloop_stop(r.loop);
  pa_threaded_mainloop_free(r.loop);
}

// Until seconds have passed or one of the signals in stop came.
void wait_for(double seconds, const sigset_t& stop) {
  timespec wait{
      static_cast<time_t>(seconds),
      static_cast<long>((seconds - static_cast<double>(static_cast<time_t>(seconds))) * 1e9)};
  sigtimedwait(&stop, nullptr, &wait);
}

int write_outputs(const recording& r, const char* raw_path, const char* stamps_path) {
  std::string error;
  FILE* raw = fulgora_tools::open_output(raw_path, error);
  FILE* txt = raw ? fulgora_tools::open_output(stamps_path, error) : nullptr;
  if (!raw || !txt) {
    if (raw) std::fclose(raw);
    return std::fprintf(stderr, "fulgora-record: %s\n", error.c_str()), 1;
  }
  std::fwrite(r.samples.data(), sizeof(float), r.samples.size(), raw);
  for (const auto& st : r.stamps) std::fprintf(txt, "%zu %.6f\n", st.first, st.second);
  const bool ok = std::fclose(raw) == 0 && std::fclose(txt) == 0;
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(usage, stdout);
    return 0;
  }
  if (argc != 7) {
    std::fputs(usage, stderr);
    return 2;
  }
  std::string error;
  if (!fulgora_tools::outputs_allowed({{argv[5], &fulgora_tools::record_outputs[0]},
                                       {argv[6], &fulgora_tools::record_outputs[1]}},
                                      {}, error)) {
    std::fprintf(stderr, "fulgora-record: %s\n", error.c_str());
    return 1;
  }
  recording r;
  r.rate = static_cast<unsigned>(std::atoi(argv[2]));
  r.channels = static_cast<unsigned>(std::atoi(argv[3]));
  const double seconds = std::atof(argv[4]);
  r.capacity = static_cast<size_t>((seconds + 5) * r.rate) * r.channels;
  r.samples.reserve(r.capacity);
  r.stamps.reserve(static_cast<size_t>(seconds * 1000) + 1000);
  // The library's thread inherits this mask: only sigtimedwait sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  r.loop = pa_threaded_mainloop_new();
  pa_context* c = connect(r);
  pa_stream* s = c ? record_from(r, c, argv[1]) : nullptr;
  if (!s) return 1;
  std::printf("recording\n");
  std::fflush(stdout);
  wait_for(seconds, stop);
  disconnect(r, c, s);
  return write_outputs(r, argv[5], argv[6]);
}
