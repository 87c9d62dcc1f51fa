// The player's side of the objects it hands to a component: strings, chunks,
// chunk lists, presets, streams, the console, the playback clock and the
// services interface.
// Each records what the component did with it, for the checks to judge.
#pragma once

#include "tests/abi_player/player_sdk.h"
#include "tests/abi_player/runtime.h"

inline bool same(const GUID& a, const GUID& b) { return memcmp(&a, &b, sizeof a) == 0; }

class player_string : public string_base {
 public:
  char text[512];
  t_size length;
  explicit player_string(const char* initial) : text(), length(0) {
    add_string(initial, ~t_size(0));
  }
  void add_string(const char* s, t_size n) override {
    for (t_size i = 0; i < n && s[i] && length + 1 < sizeof text; ++i) text[length++] = s[i];
    text[length] = 0;
  }
  const char* get_ptr() const override { return text; }
  void set_string(const char* s, t_size n) override {
    char copy[sizeof text];
    t_size k = 0;
    for (; k < n && s[k] && k + 1 < sizeof copy; ++k) copy[k] = s[k];
    copy[k] = 0;
    length = 0;
    add_string(copy, k);
  }
  void truncate(t_size n) override {
    if (n < length) text[length = n] = 0;
  }
  t_size get_length() const override { return length; }
  char* lock_buffer(t_size n) override {
    if (n + 1 > sizeof text) return nullptr;
    memset(text, 0, sizeof text);
    return text;
  }
  void unlock_buffer() override { length = strlen(text); }
};

class player_abort : public abort_callback {
 public:
  bool is_aborting() const override { return false; }
  void* get_abort_event() const override { return nullptr; }
};

class player_chunk : public audio_chunk {
 public:
  audio_sample* data = nullptr;
  t_size size = 0, frames = 0;
  unsigned rate = 0, channels = 0, config = 0;
  int writes = 0;  // any setter called by the component
  audio_sample* get_data() override { return data; }
  const audio_sample* get_data() const override { return data; }
  t_size get_data_size() const override { return size; }
  void set_data_size(t_size) override { ++writes; }
  unsigned get_srate() const override { return rate; }
  void set_srate(unsigned) override { ++writes; }
  unsigned get_channels() const override { return channels; }
  unsigned get_channel_config() const override { return config; }
  void set_channels(unsigned, unsigned) override { ++writes; }
  t_size get_sample_count() const override { return frames; }
  void set_sample_count(t_size) override { ++writes; }
};

class player_list : public dsp_chunk_list {
 public:
  audio_chunk* items[16] = {};
  t_size count = 0;
  int other_calls = 0;  // remove_mask, insert_item, bad indices: never expected
  t_size get_count() const override { return count; }
  audio_chunk* get_item(t_size n) const override { return n < count ? items[n] : nullptr; }
  void remove_by_idx(t_size at) override {
    if (at >= count) {
      ++other_calls;
      return;
    }
    for (t_size i = at; i + 1 < count; ++i) items[i] = items[i + 1];
    --count;
  }
  void remove_mask(const bit_array&) override { ++other_calls; }
  audio_chunk* insert_item(t_size, t_size) override {
    ++other_calls;
    return nullptr;
  }
};

class player_preset : public dsp_preset {
 public:
  GUID owner;
  unsigned char bytes[64] = {};
  t_size size = 0;
  player_preset(const GUID& g, const char* data) : owner(g) { set_data(data, strlen(data)); }
  GUID get_owner() const override { return owner; }
  void set_owner(const GUID& g) override { owner = g; }
  const void* get_data() const override { return bytes; }
  t_size get_data_size() const override { return size; }
  void set_data(const void* p, t_size n) override {
    size = n <= sizeof bytes ? n : sizeof bytes;
    if (size) memcpy(bytes, p, size);
  }
  void set_data_from_stream(stream_reader*, t_size, abort_callback&) override {
    size = sizeof bytes + 1;
  }
};

class player_edit_callback : public dsp_preset_edit_callback {
 public:
  int changes = 0;
  void on_preset_changed(const dsp_preset&) override { ++changes; }
};

// A configuration stream over bytes; exact reads throw the player's exception.
class player_reader : public stream_reader {
 public:
  const unsigned char* bytes;
  t_size size, at = 0;
  player_reader(const unsigned char* b, t_size n) : bytes(b), size(n) {}
  t_size read(void* to, t_size n, abort_callback&) override {
    if (n > size - at) n = size - at;
    if (n) memcpy(to, bytes + at, n);
    at += n;
    return n;
  }
  void read_object(void* to, t_size n, abort_callback& abort) override {
    if (read(to, n, abort) != n) player_throw();
  }
  t_filesize skip(t_filesize n, abort_callback&) override {
    const t_filesize left = size - at;
    if (n > left) n = left;
    at += static_cast<t_size>(n);
    return n;
  }
  void skip_object(t_filesize n, abort_callback& abort) override {
    if (skip(n, abort) != n) player_throw();
  }
};

class player_writer : public stream_writer {
 public:
  t_size written = 0;
  void write(const void*, t_size n, abort_callback&) override { written += n; }
};

class player_console : public console_receiver {
 public:
  char log[4096] = {};
  t_size length = 0;
  int refs = 0;
  int service_release() noexcept override { return --refs; }
  int service_add_ref() noexcept override { return ++refs; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  void print(const char* s, t_size n) override {
    for (t_size i = 0; i < n && s[i] && length + 2 < sizeof log; ++i) log[length++] = s[i];
    log[length++] = '\n';
    log[length] = 0;
  }
};

// The playback clock the test holds and advances, and the played audio its
// stream serves: while `played` is set, that chunk's frames over and over
// along the clock's time line from 0 (from `then_ms` on, `played_then`'s where
// it is set: the next track), from 5 s behind the clock to a buffer
// (1 s) ahead of it, filled into the caller's chunk through its own slots in
// the order of the SDK's set_data. The component's worker reads it while the
// test thread sets it: aligned 32-bit words, one writer each.
class player_clock : public visualisation_stream {
 public:
  volatile long now_ms = 0;
  volatile long queries = 0;
  const player_chunk* volatile played = nullptr;
  const player_chunk* volatile played_then = nullptr;
  volatile long then_ms = 0;
  volatile long served = 0, fakes = 0;
  int refs = 0;
  int service_release() noexcept override { return --refs; }
  int service_add_ref() noexcept override { return ++refs; }
  bool service_query(service_ptr& out, const GUID& g) override {
    if (!same(g, guid_visualisation_stream)) return false;
    service_add_ref();
    out.m_ptr = this;
    return true;
  }
  bool get_absolute_time(double& value) override {
    value = now_ms / 1000.0;
    queries = queries + 1;
    return true;
  }
  bool get_chunk_absolute(audio_chunk& out, double offset, double length) override {
    const player_chunk* p = played;
    const double now = now_ms / 1000.0, then = then_ms / 1000.0;
    const bool next = played_then && offset >= then;
    if (next) p = played_then;
    if (!p || !p->frames || offset < 0 || offset < now - 5 || offset >= now + 1 || !(length > 0))
      return false;
    if (offset + length > now + 1) length = now + 1 - offset;
    // An answer ends where the next track starts, as the player's ends at a
    // change of stream.
    if (played_then && !next && offset + length > then) length = then - offset;
    const unsigned channels = p->channels;
    const t_size frames = static_cast<t_size>(static_cast<long>(length * p->rate + 0.5));
    if (frames == 0 || frames > (t_size(1) << 20)) return false;
    out.set_data_size(frames * channels);
    audio_sample* to = out.get_data();
    t_size from = static_cast<t_size>(static_cast<long>(offset * p->rate + 0.5)) % p->frames;
    for (t_size i = 0; i < frames; ++i, from = from + 1 == p->frames ? 0 : from + 1)
      for (unsigned c = 0; c < channels; ++c) to[i * channels + c] = p->data[from * channels + c];
    out.set_sample_count(frames);
    out.set_srate(p->rate);
    out.set_channels(channels, p->config);
    served = served + 1;
    return true;
  }
  bool get_spectrum_absolute(audio_chunk&, double, unsigned) override { return false; }
  void make_fake_chunk_absolute(audio_chunk&, double, double) override {
    fakes = fakes + 1;
    player_throw();
  }
  void make_fake_spectrum_absolute(audio_chunk&, double, unsigned) override {
    fakes = fakes + 1;
    player_throw();
  }
};

class player_vis_manager : public visualisation_manager {
 public:
  player_clock clock;
  int refs = 0, streams = 0;
  int service_release() noexcept override { return --refs; }
  int service_add_ref() noexcept override { return ++refs; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  void create_stream(service_ptr_t<visualisation_stream>& out, unsigned) override {
    ++streams;
    clock.service_add_ref();
    if (out.m_ptr) out.m_ptr->service_release();
    out.m_ptr = &clock;
  }
};

// The core's output settings: the user's output buffer length.
class player_output_manager : public output_manager {
 public:
  double buffer_length = 1.0;
  int refs = 0, asked = 0;
  int service_release() noexcept override { return --refs; }
  int service_add_ref() noexcept override { return ++refs; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  service_ptr_t<output> instantiateCoreDefault(double) override {
    player_throw();
    return {nullptr};
  }
  void getCoreConfig(void* out, t_size size) override {
    ++asked;
    outputCoreConfig_t config = {};
    config.m_buffer_length = buffer_length;
    config.m_bitDepth = 16;
    memcpy(out, &config, size < sizeof config ? size : sizeof config);
  }
};

class player_api : public foobar2000_api {
 public:
  player_console* console;
  player_vis_manager* vis;
  player_output_manager* outputs;
  player_api(player_console* c, player_vis_manager* v, player_output_manager* o)
      : console(c), vis(v), outputs(o) {}
  service_class_ref service_enum_find_class(const GUID& g) override {
    if (same(g, guid_console_receiver)) return &guid_console_receiver;
    if (same(g, guid_output_manager)) return &guid_output_manager;
    return same(g, guid_visualisation_manager) ? &guid_visualisation_manager : nullptr;
  }
  bool service_enum_create(service_ptr& out, service_class_ref c, t_size index) override {
    service_base* one = c == &guid_console_receiver        ? static_cast<service_base*>(console)
                        : c == &guid_visualisation_manager ? static_cast<service_base*>(vis)
                        : c == &guid_output_manager        ? static_cast<service_base*>(outputs)
                                                           : nullptr;
    if (!one || index != 0) return false;
    one->service_add_ref();
    if (out.m_ptr) out.m_ptr->service_release();
    out.m_ptr = one;
    return true;
  }
  t_size service_enum_get_count(service_class_ref c) override {
    return c == &guid_console_receiver || c == &guid_visualisation_manager ||
                   c == &guid_output_manager
               ? 1
               : 0;
  }
  HWND__* get_main_window() override { return nullptr; }
  bool assert_main_thread() override { return true; }
  bool is_main_thread() override { return true; }
  bool is_shutting_down() override { return false; }
  const char* get_profile_path() override { return "file://C:\\profile"; }
  bool is_initializing() override { return false; }
  bool is_portable_mode_enabled() override { return false; }
  bool is_quiet_mode_enabled() override { return false; }
};

// What the player's reference held before instantiate: must be released once
// on success and left alone on failure.
class sentinel_dsp : public dsp {
 public:
  int refs = 1;
  int service_release() noexcept override { return --refs; }
  int service_add_ref() noexcept override { return ++refs; }
  bool service_query(service_ptr&, const GUID&) override { return false; }
  void run(dsp_chunk_list*, const dsp_track_t&, int) override {}
  void flush() override {}
  double get_latency() override { return 1.0; }
  bool need_track_change_mark() override { return true; }
};
