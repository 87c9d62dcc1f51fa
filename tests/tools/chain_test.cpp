#include "tools/play/chain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/play/own_dsp.h"

namespace fulgora_play {
namespace {

constexpr int eot = dsp::END_OF_TRACK, fl = dsp::FLUSH;

TEST(chain_helper, flags_and_kept_instances_per_call) {
  const std::vector<chain_slot> ours_then_fade = {{"ours", 0}, {"crossfade", 0}};
  const struct {
    const char* what;
    std::vector<bool> marks;
    std::vector<chain_slot> next;  // empty: no rebuild
    int flags;
    std::vector<int> expected;
  } cases[] = {
      {"gapless track end, no DSP asks for marks", {false, false}, {}, eot, {eot, eot}},
      {"track end before a DSP that asks for marks", {false, true}, {}, eot, {eot | fl, eot}},
      {"end of playback: FLUSH for all already", {false, true}, {}, eot | fl, {eot | fl, eot | fl}},
      {"a middle chunk", {false, true}, {}, 0, {0, 0}},
      {"the DSP after ours changed: ours kept",
       {false, false},
       {{"ours", 0}, {"crossfade", 1}},
       0,
       {0, fl}},
      {"ours changed: ours replaced", {false, false}, {{"ours", 1}, {"crossfade", 0}}, 0, {fl, 0}},
      {"both changed: none kept", {false, false}, {{"ours", 1}, {"crossfade", 1}}, 0, {fl, fl}},
      {"a DSP added: none kept",
       {false, false},
       {{"ours", 0}, {"crossfade", 0}, {"resample", 0}},
       0,
       {fl, fl}},
      {"kept, at a track end before the marks",
       {false, true},
       {{"ours", 0}, {"crossfade", 1}},
       eot,
       {eot | fl, eot | fl}},
  };
  for (const auto& c : cases) {
    const std::vector<bool> kept =
        c.next.empty() ? std::vector<bool>{} : kept_on_rebuild(ours_then_fade, c.next);
    EXPECT_EQ(chain_flags(c.marks, kept, c.flags), c.expected) << c.what;
  }
}

// Runs frames of a ramp through an own DSP in chunks of `chunk` frames at
// `rate`; the last call carries `last_flags`.
std::vector<double> through(own_dsp& d, size_t frames, size_t chunk, unsigned rate, int last_flags,
                            unsigned& out_rate) {
  std::vector<double> out;
  audio_chunk_impl c;
  std::vector<const audio_chunk*> in(1, &c), got;
  for (size_t at = 0; at < frames; at += chunk) {
    const size_t n = std::min(chunk, frames - at);
    std::vector<audio_sample> s(2 * n);
    for (size_t i = 0; i < n; ++i) s[2 * i] = s[2 * i + 1] = audio_sample((at + i) / 65536.0);
    c.set_data(s.data(), n, 2, rate);
    d.run(in, at + n >= frames ? last_flags : 0, got);
    for (const audio_chunk* o : got) {
      out_rate = o->get_srate();
      for (size_t i = 0; i < o->get_sample_count(); ++i) out.push_back(o->get_data()[2 * i]);
    }
  }
  return out;
}

TEST(own_dsps, delay_delays_by_its_hold_back_and_gives_it_out_at_the_end) {
  for (size_t chunk : {441u, 4096u, 16384u}) {
    auto d = make_own_dsp("delay");
    ASSERT_TRUE(d->wants_marks());
    unsigned rate = 0;
    const std::vector<double> out = through(*d, 44100, chunk, 44100, eot | fl, rate);
    const size_t hold = static_cast<size_t>(std::lround(crossfade_hold_s * 44100));
    ASSERT_EQ(out.size(), 44100 + hold) << chunk;
    size_t wrong = 0;
    for (size_t i = 0; i < out.size(); ++i)
      wrong += out[i] != (i < hold ? 0.0 : audio_sample((i - hold) / 65536.0));
    EXPECT_EQ(wrong, 0u) << chunk;
  }
}

// Tracks of constant levels (the track's number) played gapless at 1 kHz in
// chunks of `chunk` frames, with the chain helper's marks; the left channel
// of what comes out.
std::vector<double> tracks_through(own_dsp& d, const std::vector<size_t>& lengths, size_t chunk,
                                   const std::vector<size_t>& silences = {}) {
  std::vector<double> out;
  audio_chunk_impl c;
  std::vector<const audio_chunk*> in(1, &c), got;
  for (size_t t = 0; t < lengths.size(); ++t) {
    for (size_t at = 0; at < lengths[t]; at += chunk) {
      const size_t n = std::min(chunk, lengths[t] - at);
      std::vector<audio_sample> s(2 * n, audio_sample(t + 1));
      // silences: a silent run of that many frames at the start of track t.
      for (size_t i = 0; i < n && t < silences.size() && at + i < silences[t]; ++i)
        s[2 * i] = s[2 * i + 1] = 0;
      c.set_data(s.data(), n, 2, 1000);
      const bool end = at + n >= lengths[t];
      d.run(in, end ? (t + 1 == lengths.size() ? eot | fl : eot) : 0, got);
      for (const audio_chunk* o : got)
        for (size_t i = 0; i < o->get_sample_count(); ++i) out.push_back(o->get_data()[2 * i]);
    }
  }
  return out;
}

// What is played is what a listener's position and the lights' clock count:
// a crossfader shortens it by the overlap at each track change, a silence
// skipper by each long silence, whatever the chunks.
TEST(own_dsps, crossfade_and_skip_silence_shorten_what_is_played) {
  for (size_t chunk : {37u, 300u, 4096u}) {
    auto fade = make_own_dsp("crossfade");
    ASSERT_TRUE(fade->wants_marks());
    const std::vector<double> out = tracks_through(*fade, {1000, 1000, 1000}, chunk);
    ASSERT_EQ(out.size(), 2600u) << chunk;
    // Track 1 whole until its last 200 ms, mixed with track 2's first.
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[799], 1.0) << chunk;
    EXPECT_NEAR(out[900], 1.5, 0.01) << chunk;
    EXPECT_EQ(out[1000], 2.0) << chunk;  // track 2's frame 200
    EXPECT_NEAR(out[1700], 2.5, 0.01) << chunk;
    EXPECT_EQ(out[2599], 3.0) << chunk;  // the last track's end, whole
  }
  const struct {
    std::vector<size_t> silences;  // frames of silence opening each 1000-frame track
    size_t played;
  } cases[] = {
      {{50, 0, 0}, 3000},        // short silences stay
      {{100, 0, 0}, 3000},       // as long as the limit: stays
      {{101, 0, 0}, 3000 - 81},  // longer: cut to 20 ms
      {{500, 600, 0}, 3000 - 480 - 580},
      {{0, 1000, 1000}, 1020},  // a silence across track ends is one
  };
  for (size_t chunk : {37u, 300u, 4096u})
    for (const auto& c : cases) {
      auto skip = make_own_dsp("skip-silence");
      ASSERT_FALSE(skip->wants_marks());
      const std::vector<double> out = tracks_through(*skip, {1000, 1000, 1000}, chunk, c.silences);
      EXPECT_EQ(out.size(), c.played) << chunk << " " << c.silences[0] << " " << c.silences[1];
    }
}

// The output's clock counts what the resampler makes: no frame gained or
// lost across chunk boundaries, and the ramp stays a ramp.
TEST(own_dsps, resample_keeps_the_length_and_the_shape_across_chunks) {
  for (size_t chunk : {100u, 441u, 4096u}) {
    auto d = make_own_dsp("resample");
    ASSERT_FALSE(d->wants_marks());
    unsigned rate = 0;
    const std::vector<double> out = through(*d, 441000, chunk, 44100, 0, rate);
    EXPECT_EQ(rate, resample_rate);
    EXPECT_NEAR(static_cast<double>(out.size()), 480000.0, 2.0) << chunk;
    double worst = 0;
    for (size_t k = 0; k < out.size(); ++k)
      worst = std::max(worst, std::fabs(out[k] - k * (44100.0 / 48000) / 65536.0));
    EXPECT_LT(worst, 1e-5) << chunk;
  }
}

}  // namespace
}  // namespace fulgora_play
