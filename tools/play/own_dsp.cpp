#include "tools/play/own_dsp.h"

#include <cmath>
#include <deque>

namespace fulgora_play {
namespace {

// Output chunks kept from call to call, so steady play allocates nothing.
class chunk_pool {
 public:
  void reset() { used_ = 0; }
  audio_chunk_impl& next() {
    if (used_ == chunks_.size()) chunks_.push_back(std::make_unique<audio_chunk_impl>());
    return *chunks_[used_++];
  }

 private:
  std::vector<std::unique_ptr<audio_chunk_impl>> chunks_;
  size_t used_ = 0;
};

// Every channel of a silent frame lies below -90 dBFS.
constexpr double silence_level = 3.1622777e-5;

// Frames of interleaved audio, built up and then handed on in one chunk.
void hand_on(const std::vector<audio_sample>& line, unsigned channels, unsigned rate,
             chunk_pool& pool, std::vector<const audio_chunk*>& out) {
  if (channels == 0 || line.size() < channels) return;
  audio_chunk_impl& c = pool.next();
  c.set_data(line.data(), line.size() / channels, channels, rate);
  out.push_back(&c);
}

// The run the buffering DSPs share: the pool starts over, a change of format
// ends what was held in the old one, FLUSH gives out everything.
class held_stream : public own_dsp {
 public:
  void run(const std::vector<const audio_chunk*>& in, int flags,
           std::vector<const audio_chunk*>& out) final {
    pool_.reset();
    out.clear();
    for (const audio_chunk* c : in) {
      if (c->get_channels() != channels_ || c->get_srate() != rate_) {
        end_format(out);
        channels_ = c->get_channels();
        rate_ = c->get_srate();
        begin_format();
      }
      take(*c, out);
    }
    if (flags & 2) {  // FLUSH: the end of what is played
      end_format(out);
      channels_ = rate_ = 0;
    } else {
      after_chunks(flags, out);
    }
  }

 protected:
  // Gives out what is held (nothing when no format has come yet).
  virtual void end_format(std::vector<const audio_chunk*>& out) = 0;
  virtual void begin_format() = 0;
  virtual void take(const audio_chunk& c, std::vector<const audio_chunk*>& out) = 0;
  virtual void after_chunks(int /*flags*/, std::vector<const audio_chunk*>& /*out*/) {}
  // The first `samples` of what is held, out in one chunk.
  void give(size_t samples, std::vector<const audio_chunk*>& out) {
    if (samples == 0 || channels_ == 0) return;
    line_.assign(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(samples));
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(samples));
    hand_on(line_, channels_, rate_, pool_, out);
  }

  std::deque<audio_sample> held_;
  std::vector<audio_sample> line_;
  unsigned channels_ = 0, rate_ = 0;
  chunk_pool pool_;
};

class hold_back final : public held_stream {
 public:
  bool wants_marks() const override { return true; }

  void flush() override {
    held_.clear();
    channels_ = rate_ = 0;
  }

 private:
  void end_format(std::vector<const audio_chunk*>& out) override { give(held_.size(), out); }
  void begin_format() override {
    held_.assign(static_cast<size_t>(std::lround(crossfade_hold_s * rate_)) * channels_, 0);
  }
  void take(const audio_chunk& c, std::vector<const audio_chunk*>& out) override {
    const audio_sample* data = c.get_data();
    held_.insert(held_.end(), data, data + c.get_sample_count() * channels_);
    give(c.get_sample_count() * channels_, out);
  }
};

class crossfade final : public held_stream {
 public:
  bool wants_marks() const override { return true; }

  void flush() override {
    held_.clear();
    tail_.clear();
    tail_at_ = 0;
    channels_ = rate_ = 0;
  }

 private:
  void end_format(std::vector<const audio_chunk*>& out) override {
    end_tail();
    give(held_.size(), out);
  }
  void begin_format() override {
    hold_ = static_cast<size_t>(std::lround(crossfade_overlap_s * rate_)) * channels_;
  }
  void take(const audio_chunk& c, std::vector<const audio_chunk*>&) override { mix_in(c); }
  void after_chunks(int flags, std::vector<const audio_chunk*>& out) override {
    give(held_.size() - std::min(held_.size(), hold_), out);
    if (flags & 1) {  // END_OF_TRACK: what it holds is the track's tail
      end_tail();
      tail_.assign(held_.begin(), held_.end());
      held_.clear();
      tail_at_ = 0;
    }
  }
  // The new track comes in as the last one's tail fades out, frame by frame.
  void mix_in(const audio_chunk& c) {
    const audio_sample* data = c.get_data();
    const size_t samples = c.get_sample_count() * channels_;
    const size_t tail_frames = tail_.size() / channels_;
    for (size_t i = 0; i < samples; ++i) {
      if (tail_at_ >= tail_.size()) {
        held_.push_back(data[i]);
        continue;
      }
      const double w = (static_cast<double>(tail_at_ / channels_) + 0.5) / tail_frames;
      held_.push_back(static_cast<audio_sample>(tail_[tail_at_] * (1 - w) + data[i] * w));
      ++tail_at_;
    }
  }
  // A tail the next track was too short to take goes out as it is.
  void end_tail() {
    held_.insert(held_.end(), tail_.begin() + static_cast<std::ptrdiff_t>(tail_at_), tail_.end());
    tail_.clear();
    tail_at_ = 0;
  }
  std::vector<audio_sample> tail_;
  size_t tail_at_ = 0, hold_ = 0;  // samples
};

class skip_silence final : public held_stream {
 public:
  bool wants_marks() const override { return false; }

  void flush() override {
    held_.clear();
    run_ = 0;
    channels_ = rate_ = 0;
  }

 private:
  // A silence at a format's end (or the very end) ends there.
  void end_format(std::vector<const audio_chunk*>& out) override {
    end_run();
    hand_on(line_, channels_, rate_, pool_, out);
    line_.clear();
  }
  void begin_format() override {
    longer_ = std::lround(skip_silence_longer_s * rate_);
    kept_ = std::lround(skip_silence_kept_s * rate_);
  }
  void take(const audio_chunk& c, std::vector<const audio_chunk*>& out) override {
    const audio_sample* data = c.get_data();
    for (size_t f = 0; f < c.get_sample_count(); ++f) take_frame(data + f * channels_);
    hand_on(line_, channels_, rate_, pool_, out);
    line_.clear();
  }
  // The first kept_ frames of a silence go on at once; the rest up to
  // longer_ are held to learn whether the silence ends in time; beyond, all go.
  void take_frame(const audio_sample* frame) {
    bool silent = true;
    for (unsigned ch = 0; ch < channels_; ++ch)
      silent = silent && std::fabs(frame[ch]) < silence_level;
    if (!silent) {
      end_run();
      line_.insert(line_.end(), frame, frame + channels_);
      return;
    }
    ++run_;
    if (run_ <= kept_)
      line_.insert(line_.end(), frame, frame + channels_);
    else if (run_ <= longer_)
      held_.insert(held_.end(), frame, frame + channels_);
    else
      held_.clear();
  }
  void end_run() {
    line_.insert(line_.end(), held_.begin(), held_.end());
    held_.clear();
    run_ = 0;
  }

  long run_ = 0, longer_ = 0, kept_ = 0;  // frames
};

class to_rate final : public own_dsp {
 public:
  bool wants_marks() const override { return false; }

  void run(const std::vector<const audio_chunk*>& in, int flags,
           std::vector<const audio_chunk*>& out) override {
    pool_.reset();
    out.clear();
    for (const audio_chunk* c : in) {
      if (c->get_srate() == resample_rate) {
        out.push_back(c);
        continue;
      }
      if (c->get_channels() != channels_ || c->get_srate() != rate_) {
        channels_ = c->get_channels();
        rate_ = c->get_srate();
        at_ = 0;
        previous_.assign(channels_, 0);
      }
      resample(*c, out);
    }
    if (flags & 2) flush();
  }

  void flush() override { channels_ = rate_ = 0; }

 private:
  // Output frame k lies at input frame at_ + k * step from this chunk's
  // start; -1 is the previous chunk's last frame.
  void resample(const audio_chunk& c, std::vector<const audio_chunk*>& out) {
    const double step = static_cast<double>(rate_) / resample_rate;
    const auto frames = static_cast<long>(c.get_sample_count());
    const audio_sample* data = c.get_data();
    line_.clear();
    for (; at_ <= frames - 1; at_ += step) {
      const long i = static_cast<long>(std::floor(at_));
      const double f = at_ - static_cast<double>(i);
      for (unsigned ch = 0; ch < channels_; ++ch) {
        const double a = i < 0 ? previous_[ch] : data[i * channels_ + ch];
        const double b = i + 1 < frames ? data[(i + 1) * channels_ + ch] : a;
        line_.push_back(static_cast<audio_sample>(a + (b - a) * f));
      }
    }
    at_ -= static_cast<double>(frames);
    if (frames > 0) previous_.assign(data + (frames - 1) * channels_, data + frames * channels_);
    if (line_.empty()) return;
    audio_chunk_impl& o = pool_.next();
    o.set_data(line_.data(), line_.size() / channels_, channels_, resample_rate);
    out.push_back(&o);
  }

  double at_ = 0;
  std::vector<audio_sample> previous_, line_;
  unsigned channels_ = 0, rate_ = 0;
  chunk_pool pool_;
};

}  // namespace

std::unique_ptr<own_dsp> make_own_dsp(const std::string& name) {
  if (name == "crossfade") return std::make_unique<crossfade>();
  if (name == "delay") return std::make_unique<hold_back>();
  if (name == "skip-silence") return std::make_unique<skip_silence>();
  if (name == "resample") return std::make_unique<to_rate>();
  return nullptr;
}

}  // namespace fulgora_play
