#include "tools/play/band_levels.h"

#include <algorithm>

#include "analysis/band_analyzer.h"
#include "engine/measure.h"

namespace fulgora_play {

std::string channel_bands(int channel, const int routing[3]) {
  static const char* const bands[3] = {"low", "mid", "high"};
  std::string out;
  for (int b = 0; b < 3; ++b)
    if (routing[b] == channel) out += (out.empty() ? "" : " + ") + std::string(bands[b]);
  return out.empty() ? "no band" : out;
}

std::vector<band_sample> measure_bands(const std::vector<decoded_audio>& audio, unsigned chunk,
                                       const fulgora::led_settings& settings) {
  std::vector<band_sample> out;
  fulgora::band_analyzer analyzer;
  fulgora::level_history history;
  audio_chunk_impl piece;
  double start_s = 0;  // of the file in the stream
  const size_t hop = std::max<size_t>(1, chunk / 8);
  for (const decoded_audio& a : audio) {
    // Each window ends where its sound has been heard: a level is drawn
    // there, never before the sound that makes it.
    for (size_t end = std::min<size_t>(hop, a.frames); a.channels == 2 && end <= a.frames;
         end = end == a.frames ? end + 1 : std::min(end + hop, a.frames)) {
      const size_t at = end > chunk ? end - chunk : 0, frames = end - at;
      piece.set_data(a.samples.data() + at * 2, frames, 2, a.rate);
      uint8_t bytes[3];
      if (!fulgora::capture_chunk(analyzer, piece) ||
          !fulgora::measure_block(analyzer, settings, history, bytes))
        continue;
      band_sample s;
      s.track_s = start_s + static_cast<double>(end) / a.rate;
      s.level[0] = analyzer.low_level;
      s.level[1] = analyzer.mid_level;
      s.level[2] = analyzer.high_level;
      out.push_back(s);
    }
    start_s += static_cast<double>(a.frames) / a.rate;
  }
  return out;
}

namespace {

// The index of a speaker in a chunk's interleaved frame, -1 when absent
// (the channel map's bits in order: front left 0x1, front right 0x2, ...).
int speaker_index(unsigned config, unsigned speaker) {
  if (!(config & speaker)) return -1;
  int index = 0;
  for (unsigned bit = 1; bit < speaker; bit <<= 1) index += (config & bit) != 0;
  return index;
}

}  // namespace

heard_bands::heard_bands(unsigned chunk, const fulgora::led_settings& settings)
    : chunk_(std::max(1u, chunk)), hop_(std::max<size_t>(1, chunk / 8)), settings_(settings) {}

void heard_bands::write(const audio_chunk& chunk) {
  const size_t frames = chunk.get_sample_count();
  const unsigned rate = chunk.get_srate(), channels = chunk.get_channels();
  if (frames == 0 || rate == 0 || channels == 0) return;
  const unsigned config = chunk.get_channel_config();
  const int left = channels == 2 ? 0 : speaker_index(config, 0x1);
  const int right = channels == 2 ? 1 : speaker_index(config, 0x2);
  if (rate != rate_ || channels != channels_ || left != left_ || right != right_) {
    // A new format (or the first chunk after a start or a seek): its
    // windows start where the last one ended, over silence, as heard; a
    // window shorter than a chunk would measure louder.
    if (rate_ != 0) run_s_ += static_cast<double>(frames_ - chunk_) / rate_;
    rate_ = rate, channels_ = channels, left_ = left, right_ = right;
    frames_ = chunk_;
    kept_from_ = 0;
    next_end_ = chunk_ + hop_;
    kept_.assign(2 * static_cast<size_t>(chunk_), 0);
  }
  frames_ += frames;
  if (left_ < 0 || right_ < 0 || left_ >= static_cast<int>(channels) ||
      right_ >= static_cast<int>(channels))
    return;
  const audio_sample* data = chunk.get_data();
  for (size_t i = 0; i < frames; ++i) {
    kept_.push_back(data[i * channels + static_cast<size_t>(left_)]);
    kept_.push_back(data[i * channels + static_cast<size_t>(right_)]);
  }
  for (; next_end_ <= frames_; next_end_ += hop_) measure(next_end_);
  // Only what the next window needs stays.
  const size_t keep_from = next_end_ > chunk_ ? next_end_ - chunk_ : 0;
  if (keep_from > kept_from_) {
    kept_.erase(kept_.begin(),
                kept_.begin() + static_cast<std::ptrdiff_t>(2 * (keep_from - kept_from_)));
    kept_from_ = keep_from;
  }
}

// The window of a chunk's length ending at frame `end` of the run (which
// opens with a chunk of silence), its level placed where that frame is heard.
void heard_bands::measure(size_t end) {
  const size_t from = end - chunk_;
  uint8_t bytes[3];
  if (analyzer_.capture_samples(rate_, end - from, kept_.data() + 2 * (from - kept_from_)) !=
          fulgora::capture_result::stored ||
      !fulgora::measure_block(analyzer_, settings_, history_, bytes))
    return;
  band_sample s;
  s.track_s = base_s_ + run_s_ + static_cast<double>(end - chunk_) / rate_;
  s.level[0] = analyzer_.low_level;
  s.level[1] = analyzer_.mid_level;
  s.level[2] = analyzer_.high_level;
  s.after_seek = seeked_ && samples_.size() == since_seek_;
  samples_.push_back(s);
}

void heard_bands::cut(double heard) {
  while (samples_.size() > since_seek_ && samples_.back().track_s > heard + 1e-9)
    samples_.pop_back();
}

void heard_bands::seek(double heard, double to) {
  cut(heard);
  since_seek_ = samples_.size();
  seeked_ = true;
  base_s_ = to;
  run_s_ = 0;
  rate_ = channels_ = 0;
  left_ = right_ = -1;
  frames_ = next_end_ = kept_from_ = 0;
  kept_.clear();
}

}  // namespace fulgora_play
