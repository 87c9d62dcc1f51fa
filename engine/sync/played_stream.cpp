#include "engine/sync/played_stream.h"

#include <memory>
#include <new>

#include "analysis/band_analyzer.h"
#include "host/visualisation.h"
#include "platform/threads.h"

namespace fulgora {
namespace {

// The chunk the player fills: room for the longest read at 192 kHz and 8
// channels, made once. Its methods never throw. The SDK's set_data sizes the
// chunk and then copies the whole size into get_data(), so a size beyond the
// room (a format beyond those) is grown here, on the worker; without the
// memory the read counts as failed.
class played_chunk final : public audio_chunk {
 public:
  static constexpr size_t room = played_frames_max * 8;

  bool prepare() {
    if (!data_) data_.reset(new (std::nothrow) audio_sample[room]);
    size_ = data_ ? room : 0;
    return data_ != nullptr;
  }
  void free() {
    data_.reset();
    size_ = 0;
  }
  void clear() {
    frames_ = 0;
    rate_ = channels_ = 0;
    failed_ = false;
  }
  // The content is whole: its frames fit what it holds.
  bool whole() const {
    return !failed_ && rate_ > 0 && channels_ > 0 && frames_ <= size_ / channels_;
  }

  const audio_sample* get_data() const noexcept override { return data_.get(); }
  audio_sample* get_data() noexcept override { return data_.get(); }
  size_t get_data_size() const noexcept override { return size_; }
  void set_data_size(size_t size) noexcept override {
    if (size <= size_) return;
    std::unique_ptr<audio_sample[]> more(new (std::nothrow) audio_sample[size]);
    if (!more) {
      failed_ = true;
      return;
    }
    data_ = std::move(more);
    size_ = size;
  }
  unsigned get_srate() const noexcept override { return rate_; }
  void set_srate(unsigned rate) noexcept override { rate_ = rate; }
  unsigned get_channels() const noexcept override { return channels_; }
  unsigned get_channel_config() const noexcept override { return config_; }
  void set_channels(unsigned count, unsigned config) noexcept override {
    channels_ = count;
    config_ = config;
  }
  size_t get_sample_count() const noexcept override { return frames_; }
  void set_sample_count(size_t frames) noexcept override { frames_ = frames; }

 private:
  std::unique_ptr<audio_sample[]> data_;
  size_t size_ = 0, frames_ = 0;
  unsigned rate_ = 0, channels_ = 0, config_ = 0;
  bool failed_ = false;
};

// Under player_calls_lock. Its destruction at unload frees only our chunk:
// the last holder has given the player's stream back by then.
struct shared_stream {
  visualisation_stream* stream = nullptr;  // one counted reference
  int holders = 0;
  played_chunk chunk;
};

shared_stream& shared() {
  static shared_stream s;
  return s;
}

}  // namespace

bool hold_played_stream() {
  player_calls_lock lock;
  shared_stream& s = shared();
  if (s.holders == 0) {
    if (!s.chunk.prepare()) return false;
    service_ptr_t<visualisation_stream> opened;
    if (!open_playback_clock(opened)) {
      s.chunk.free();
      return false;
    }
    s.stream = opened.detach();
  }
  ++s.holders;
  return true;
}

void let_go_played_stream() {
  player_calls_lock lock;
  shared_stream& s = shared();
  if (s.holders == 0 || --s.holders > 0) return;
  s.stream->service_release();
  s.stream = nullptr;
  s.chunk.free();
}

bool played_time(double& value) {
  player_calls_lock lock;
  shared_stream& s = shared();
  try {
    return s.stream != nullptr && s.stream->get_absolute_time(value);
  } catch (...) {
    return false;  // the player's fault: no answer this time
  }
}

played_piece read_played(double offset, double length, float* mono, size_t room) {
  played_piece out;
  if (length > played_read_max_s) length = played_read_max_s;
  player_calls_lock lock;
  shared_stream& s = shared();
  if (s.stream == nullptr) return out;
  played_chunk& c = s.chunk;
  c.clear();
  try {
    if (!s.stream->get_chunk_absolute(c, offset, length)) return out;
  } catch (...) {
    return out;
  }
  if (!c.whole()) return out;
  const unsigned channels = c.get_channels();
  const size_t frames = c.get_sample_count() < room ? c.get_sample_count() : room;
  const audio_sample* data = c.get_data();
  // Front left and right: an upmixer after ours adds channels behind them.
  for (size_t i = 0; i < frames; ++i)
    mono[i] = channels == 1 ? static_cast<float>(data[i]) : mono_of(data + channels * i);
  out.rate = c.get_srate();
  out.channels = channels;
  out.frames = frames;
  return out;
}

}  // namespace fulgora
