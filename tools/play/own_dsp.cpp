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

class hold_back final : public own_dsp {
 public:
  bool wants_marks() const override { return true; }

  void run(const std::vector<const audio_chunk*>& in, int flags,
           std::vector<const audio_chunk*>& out) override {
    pool_.reset();
    out.clear();
    for (const audio_chunk* c : in) {
      if (c->get_channels() != channels_ || c->get_srate() != rate_) {
        give_all(out);
        start(c->get_channels(), c->get_srate());
      }
      const audio_sample* data = c->get_data();
      held_.insert(held_.end(), data, data + c->get_sample_count() * channels_);
      give(c->get_sample_count(), out);
    }
    if (flags & 2) {  // FLUSH: the end of what is played, everything out
      give_all(out);
      channels_ = rate_ = 0;
    }
  }

  void flush() override {
    held_.clear();
    channels_ = rate_ = 0;
  }

 private:
  void start(unsigned channels, unsigned rate) {
    channels_ = channels;
    rate_ = rate;
    held_.assign(static_cast<size_t>(std::lround(crossfade_hold_s * rate)) * channels, 0);
  }
  void give(size_t frames, std::vector<const audio_chunk*>& out) {
    if (frames == 0 || channels_ == 0) return;
    audio_chunk_impl& c = pool_.next();
    line_.assign(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(frames * channels_));
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(frames * channels_));
    c.set_data(line_.data(), frames, channels_, rate_);
    out.push_back(&c);
  }
  void give_all(std::vector<const audio_chunk*>& out) {
    if (channels_ != 0) give(held_.size() / channels_, out);
  }

  std::deque<audio_sample> held_;
  std::vector<audio_sample> line_;
  unsigned channels_ = 0, rate_ = 0;
  chunk_pool pool_;
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
  if (name == "crossfade") return std::make_unique<hold_back>();
  if (name == "resample") return std::make_unique<to_rate>();
  return nullptr;
}

}  // namespace fulgora_play
