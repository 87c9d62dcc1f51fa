// The player's block of decoded audio, as the component sees it.
// Called only on the thread that runs the DSP, during a run call; the data
// pointer stays valid for that call.
#pragma once

#include <cstddef>
#include <vector>

typedef float audio_sample;

class audio_chunk {
public:
  // Channel count; 0 marks an empty chunk.
  virtual unsigned get_channels() const = 0;
  // Sample rate in Hz; 0 marks an empty chunk.
  virtual unsigned get_srate() const = 0;
  // Frames per channel; 0 marks an empty chunk.
  virtual unsigned get_sample_count() const = 0;
  // get_sample_count() x get_channels() samples, interleaved by channel,
  // frame after frame.
  virtual const audio_sample* get_data() const = 0;

protected:
  ~audio_chunk() = default;
};

// A chunk that owns its samples: what the player stand-in and the tests hand
// to the component.

class audio_chunk_impl : public audio_chunk {
public:
  audio_chunk_impl() = default;
  audio_chunk_impl(const audio_sample* data, unsigned frames, unsigned channels,
                   unsigned srate)
      : samples_(data, data + static_cast<size_t>(frames) * channels),
        frames_(frames), channels_(channels), srate_(srate) {}
  virtual ~audio_chunk_impl() = default;

  unsigned get_channels() const override { return channels_; }
  unsigned get_srate() const override { return srate_; }
  unsigned get_sample_count() const override { return frames_; }
  const audio_sample* get_data() const override { return samples_.data(); }

  // Replaces the content; reuses the storage when it is large enough.
  void set_data(const audio_sample* data, unsigned frames, unsigned channels,
                unsigned srate) {
    samples_.assign(data, data + static_cast<size_t>(frames) * channels);
    frames_ = frames;
    channels_ = channels;
    srate_ = srate;
  }

private:
  std::vector<audio_sample> samples_;
  unsigned frames_ = 0;
  unsigned channels_ = 0;
  unsigned srate_ = 0;
};
