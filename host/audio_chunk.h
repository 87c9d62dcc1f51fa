// The player's block of decoded audio (follows the SDK's audio_chunk.h).
// Called only on the thread that runs the DSP, during a run call; the data
// pointer stays valid for that call.
#pragma once

#include <cstddef>
#include <type_traits>
#include <vector>

// The 64-bit player hands doubles, the 32-bit one floats.
typedef std::conditional<sizeof(void*) == 8, double, float>::type audio_sample;

class audio_chunk {
 public:
  // MSVC gives overloads adjacent slots in reverse order of declaration: the
  // const get_data comes first.
  // get_sample_count() x get_channels() samples, interleaved by channel,
  // frame after frame.
  virtual const audio_sample* get_data() const = 0;
  virtual audio_sample* get_data() = 0;
  // Allocated samples, at least get_sample_count() x get_channels().
  virtual size_t get_data_size() const = 0;
  virtual void set_data_size(size_t size) = 0;
  // Sample rate in Hz; 0 marks an empty chunk.
  virtual unsigned get_srate() const = 0;
  virtual void set_srate(unsigned rate) = 0;
  // Channel count; 0 marks an empty chunk.
  virtual unsigned get_channels() const = 0;
  virtual unsigned get_channel_config() const = 0;
  virtual void set_channels(unsigned count, unsigned config) = 0;
  // Frames per channel; 0 marks an empty chunk.
  virtual size_t get_sample_count() const = 0;
  virtual void set_sample_count(size_t frames) = 0;

 protected:
  ~audio_chunk() = default;
};

// A chunk that owns its samples: what the player stand-in and the tests hand
// to the component.
class audio_chunk_impl : public audio_chunk {
 public:
  audio_chunk_impl() = default;
  audio_chunk_impl(const audio_sample* data, size_t frames, unsigned channels, unsigned srate) {
    set_data(data, frames, channels, srate);
  }
  virtual ~audio_chunk_impl() = default;

  const audio_sample* get_data() const override { return samples_.data(); }
  audio_sample* get_data() override { return samples_.data(); }
  size_t get_data_size() const override { return samples_.size(); }
  void set_data_size(size_t size) override { samples_.resize(size); }
  unsigned get_srate() const override { return srate_; }
  void set_srate(unsigned rate) override { srate_ = rate; }
  unsigned get_channels() const override { return channels_; }
  unsigned get_channel_config() const override { return config_; }
  void set_channels(unsigned count, unsigned config) override {
    channels_ = count;
    config_ = config;
  }
  size_t get_sample_count() const override { return frames_; }
  void set_sample_count(size_t frames) override { frames_ = frames; }

  // Replaces the content; reuses the storage when it is large enough. The
  // channel map is left 0 (none given): the component never reads it.
  void set_data(const audio_sample* data, size_t frames, unsigned channels, unsigned srate) {
    samples_.assign(data, data + frames * channels);
    frames_ = frames;
    channels_ = channels;
    config_ = 0;
    srate_ = srate;
  }

 private:
  std::vector<audio_sample> samples_;
  size_t frames_ = 0;
  unsigned channels_ = 0;
  unsigned config_ = 0;
  unsigned srate_ = 0;
};
