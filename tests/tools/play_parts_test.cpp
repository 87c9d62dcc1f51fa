#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/settings_record.h"
#include "host/dsp.h"
#include "tests/support/temp_settings.h"
#include "tools/common/settings_file.h"
#include "tools/play/band_levels.h"
#include "tools/play/board_log.h"
#include "tools/play/live_view.h"
#include "tools/play/output_model.h"
#include "tools/play/own_dsp.h"
#include "tools/play/plot.h"

namespace fulgora_play {
namespace {

TEST(printable_line, board_bytes_never_reach_the_terminal_raw) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"successful com open.", "successful com open.\n"},
      {"ER\r\n", "ER\n"},
      {"\r\n", "\n"},
      {"\x1b[2J\x07OK\r\n", "\\x1b[2J\\x07OK\n"},
      {std::string("a\0b\r\rc\xff\n", 8), "a\\x00b\\x0d\\x0dc\\xff\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(printable_line(c.in), c.out) << c.out;
}

// The simulated board's copy of the settings names its port and keeps every
// other value as the component reads it, whatever the file's encoding; a
// misspelt section stays misspelt.
TEST(settings_for_board, the_copy_names_only_the_simulated_port) {
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("[SETTING]\r\nPORTNAME=COM3\r\nLOW_FREQ=300\r\n")) utf16 += {c, 0};
  const struct {
    std::string in;
    const wchar_t* port;
    int LOW_FREQ;
  } cases[] = {
      {"\xEF\xBB\xBF[SETTING]\r\nPORTNAME=COM3\r\nLOW_FREQ=300\r\n", L"/dev/pts/9", 300},
      {utf16, L"/dev/pts/9", 300},
      {"[setting]\nportname = \"COM3\"\nLOW_FREQ=300\n[OTHER]\nPORTNAME=X\n", L"/dev/pts/9", 300},
      {"[SETTING]\n", L"/dev/pts/9", 500},
      {"[SETTINGS]\nPORTNAME=COM3\nLOW_FREQ=300\n", L"", 500},
  };
  for (const auto& c : cases) {
    const fulgora_test::temp_settings_file file(c.in);
    std::string text, error;
    ASSERT_TRUE(fulgora_tools::settings_for_board(file.path(), "/dev/pts/9", text, error));
    const fulgora_test::temp_settings_file copy(text);
    const fulgora::settings_record r = fulgora::read_settings(copy.path());
    EXPECT_EQ(std::wstring(r.PORTNAME), c.port) << c.in;
    EXPECT_EQ(r.tuning.LOW_FREQ, c.LOW_FREQ) << c.in;
  }
}

// A row wider than the terminal wraps and breaks the cursor moves that
// redraw the block.
TEST(live_view, rows_fit_a_narrow_terminal) {
  for (int columns : {40, 60, 80}) {
    live_view view(true, columns);
    view.labels[1] = "mid + high";
    const unsigned channels[3] = {255, 128, 0};
    testing::internal::CaptureStdout();
    view.status(75.5, 200, channels, 12);
    const std::string out = testing::internal::GetCapturedStdout();
    std::string visible;
    for (size_t i = 0; i < out.size(); ++i) {
      if (out[i] == '\x1b')
        while (i < out.size() && !std::isalpha(static_cast<unsigned char>(out[i]))) ++i;
      else
        visible += out[i];
    }
    size_t start = 0, rows = 0;
    for (size_t end; (end = visible.find('\n', start)) != std::string::npos;
         start = end + 1, ++rows)
      EXPECT_LE(end - start, static_cast<size_t>(columns)) << visible.substr(start, end - start);
    EXPECT_EQ(rows, 5u) << visible;
  }
}

TEST(write_plot, ticks_at_one_two_five_and_channels_named_by_their_bands) {
  const struct {
    double span, step;
  } spans[] = {{0.5, 0.1}, {3, 0.5}, {20, 2}, {100, 10}, {400, 50}};
  for (const auto& s : spans) EXPECT_DOUBLE_EQ(tick_step(s.span), s.step) << s.span;
  const int routing[3] = {0, 0, 7};
  EXPECT_EQ(channel_bands(0, routing), "low + mid");
  EXPECT_EQ(channel_bands(2, routing), "no band");
}

// Tracks of silence with a 20 ms click at each of click_s, stereo.
std::vector<decoded_audio> click_tracks(const std::vector<double>& seconds,
                                        const std::vector<double>& click_s, unsigned rate) {
  std::vector<decoded_audio> out;
  for (double length : seconds) {
    decoded_audio a;
    a.channels = 2, a.rate = rate, a.frames = static_cast<size_t>(length * rate);
    a.samples.assign(2 * a.frames, 0);
    for (double at : click_s)
      for (size_t i = 0, from = static_cast<size_t>(at * rate); i < rate / 50; ++i)
        a.samples[2 * (from + i)] = a.samples[2 * (from + i) + 1] =
            static_cast<audio_sample>(0.8 * std::sin(2 * 3.14159265358979 * 150.0 * i / rate));
    out.push_back(a);
  }
  return out;
}

double loudness(const band_sample& b) { return b.level[0] + b.level[1] + b.level[2]; }

// The picture's band lanes: a tone after silence shows in its own band, from
// the time it is heard, across files played as one stream.
TEST(measure_bands, a_tone_shows_in_its_band_when_it_is_heard) {
  const unsigned rate = 44100;
  std::vector<decoded_audio> audio = click_tracks({1, 1}, {}, rate);
  for (size_t i = 0; i < rate; ++i)  // 2 kHz, in the mid band, in the second file
    audio[1].samples[2 * i] = audio[1].samples[2 * i + 1] =
        static_cast<audio_sample>(0.5 * std::sin(2 * 3.14159265358979 * 2000.0 * i / rate));
  const std::vector<band_sample> bands = measure_bands(audio, 4096, fulgora::led_settings());
  ASSERT_GT(bands.size(), 10u);
  for (const band_sample& b : bands) {
    const bool heard = b.track_s > 1.0;  // each level ends where its sound has been heard
    EXPECT_EQ(b.level[1] > 0.05, heard) << b.track_s << " " << b.level[1];
    EXPECT_LT(b.level[0], b.level[1] + 1e-9) << b.track_s;
  }
  EXPECT_DOUBLE_EQ(bands.back().track_s, 2.0);

  // A click at 1.000 s inside a chunk: nothing before it is heard, and its
  // peak comes within a chunk after it (it once peaked a chunk early).
  const std::vector<band_sample> heard =
      measure_bands(click_tracks({2}, {1.0}, rate), 4096, fulgora::led_settings());
  const band_sample* peak = &heard.front();
  for (const band_sample& b : heard) {
    if (b.track_s < 1.0) {
      EXPECT_LT(loudness(b), 0.01) << b.track_s;
    }
    if (loudness(b) > loudness(*peak)) peak = &b;
  }
  EXPECT_GT(peak->track_s, 1.0);
  EXPECT_LE(peak->track_s, 1.0 + 4096.0 / rate);
}

// The first level within a quarter second of at that shows a click; a
// default (silent, at 0 s) one when none does.
band_sample rise_near(const std::vector<band_sample>& bands, double at) {
  for (const band_sample& b : bands)
    if (std::fabs(b.track_s - at) < 0.25 && loudness(b) > 0.1) return b;
  return band_sample();
}

// A level shows a sound from when its window reaches it: at most an eighth
// of a chunk (the hop) plus the click's 20 ms after its onset, never before.
void expect_rise_after(const std::vector<band_sample>& bands, double onset, unsigned chunk,
                       unsigned rate, const std::string& what) {
  const band_sample rise = rise_near(bands, onset);
  EXPECT_GT(rise.track_s, onset) << what << " heard at " << onset;
  EXPECT_LE(rise.track_s, onset + chunk / 8.0 / rate + 0.02) << what << " heard at " << onset;
}

// The picture's band levels are those of what was played: after a
// crossfader (tracks overlapped) or a silence skipper each click shows where
// the store of played audio has it, not where the files had it.
TEST(heard_bands, a_click_shows_where_the_played_store_has_it) {
  const unsigned rate = 44100, chunk = 4096;
  const struct {
    const char* after;
    std::vector<double> tracks, clicks;
  } cases[] = {
      {"crossfade", {2, 2, 2}, {1.0}},  // heard at 1.0, 2.8 and 4.6 s
      {"skip-silence", {3}, {1.5}},     // heard at 0.02 s
  };
  for (const auto& c : cases) {
    const std::vector<decoded_audio> audio = click_tracks(c.tracks, c.clicks, rate);
    auto dsp_after = make_own_dsp(c.after);
    played_audio store;
    heard_bands bands(chunk, fulgora::led_settings());
    audio_chunk_impl piece;
    std::vector<const audio_chunk*> in(1, &piece), out;
    std::vector<double> input_clicks;
    double track_start = 0;
    for (size_t t = 0; t < audio.size(); ++t) {
      const decoded_audio& a = audio[t];
      for (double at : c.clicks) input_clicks.push_back(track_start + at);
      track_start += static_cast<double>(a.frames) / rate;
      for (size_t at = 0; at < a.frames; at += chunk) {
        const size_t n = std::min<size_t>(chunk, a.frames - at);
        piece.set_data(a.samples.data() + 2 * at, n, 2, rate);
        const bool end = at + n >= a.frames;
        const int eot = dsp::END_OF_TRACK, flush = dsp::FLUSH;
        dsp_after->run(in, end ? (t + 1 == audio.size() ? eot | flush : eot) : 0, out);
        for (const audio_chunk* o : out) {  // as the stand-in keeps what it plays
          store.write(*o, 0, 0);
          bands.write(*o);
        }
      }
    }
    // Where the store has each click: its onset after silence.
    audio_chunk_impl all;
    ASSERT_TRUE(store.serve(all, 0, 100, 0, 0, 0)) << c.after;
    std::vector<double> heard_clicks;
    size_t quiet = rate;
    for (size_t i = 0; i < all.get_sample_count(); ++i) {
      const bool loud = std::fabs(all.get_data()[2 * i]) > 0.01;
      if (loud && quiet >= rate / 100) heard_clicks.push_back(static_cast<double>(i) / rate);
      quiet = loud ? 0 : quiet + 1;
    }
    ASSERT_EQ(heard_clicks.size(), input_clicks.size()) << c.after;
    bool moved = false;
    for (size_t k = 0; k < heard_clicks.size(); ++k) {
      moved = moved || std::fabs(heard_clicks[k] - input_clicks[k]) > 0.15;
      expect_rise_after(bands.samples(), heard_clicks[k], chunk, rate,
                        std::string(c.after) + " click " + std::to_string(k));
    }
    EXPECT_TRUE(moved) << c.after << ": the case cannot tell the played from the files";
  }
}

// A seek: what the output held but never played is not drawn; the levels
// go on from the track time the seek went to, as a new line, the click
// heard again peaking there.
TEST(heard_bands, a_seek_keeps_only_what_was_heard_on_track_time) {
  const unsigned rate = 44100, chunk = 4096;
  const decoded_audio a = click_tracks({3}, {1.0, 2.5}, rate).front();
  heard_bands bands(chunk, fulgora::led_settings());
  audio_chunk_impl piece;
  const auto write_from = [&](size_t from, size_t to) {
    for (size_t at = from; at < to; at += chunk) {
      piece.set_data(a.samples.data() + 2 * at, std::min<size_t>(chunk, to - at), 2, rate);
      bands.write(piece);
    }
  };
  write_from(0, a.frames);  // all written, the output a second ahead...
  bands.seek(2.0, 0.5);     // ...when the listener at 2.0 s seeks back to 0.5 s
  write_from(rate / 2, a.frames);
  const std::vector<band_sample>& s = bands.samples();
  size_t second = 0;
  while (second < s.size() && !s[second].after_seek) ++second;
  ASSERT_LT(second, s.size());
  EXPECT_LE(s[second - 1].track_s, 2.0) << "levels never heard before the seek";
  EXPECT_GT(s[second].track_s, 0.5);
  EXPECT_LE(s[second].track_s, 0.5 + chunk / 8.0 / rate + 1e-9);
  const std::vector<band_sample> before(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(second)),
      after(s.begin() + static_cast<std::ptrdiff_t>(second), s.end());
  expect_rise_after(before, 1.0, chunk, rate, "before the seek");
  expect_rise_after(after, 1.0, chunk, rate, "after the seek");
  expect_rise_after(after, 2.5, chunk, rate, "after the seek");
  EXPECT_EQ(rise_near(before, 2.5).track_s, 0) << "the click at 2.5 s was never heard then";
}

// The board's CSV as the stand-in and the test player read it: only whole
// rows, the header and torn rows skipped, quotes inside the text doubled;
// each level placed by the board's own time stamp, not by when it was read.
TEST(board_log, counts_levels_and_closings_from_whole_rows) {
  const std::string path = testing::TempDir() + "board_log_test.csv";
  const struct {
    const char* append;
    long levels, closings, others;
    unsigned last0;
  } steps[] = {
      {"time_s,line,ch0,ch1,ch2\n", 0, 0, 0, 0},
      {"1.500000,\"SD100200\",7,8,9\n2.0", 1, 0, 0, 7},
      {"00000,\"S\"\"D\",,,\n", 1, 0, 1, 7},
      {"2.250000,\"SD1\",255,0,12\n2.5,\"LD\",,,\ngarbage\n", 2, 1, 1, 255},
  };
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  board_log log(path);
  log.start_s = 1.0;
  log.track_of = [](double board_s) { return 10 * board_s; };
  std::vector<board_record> records;
  for (const auto& s : steps) {
    std::fputs(s.append, f);
    std::fflush(f);
    log.poll(records);
    EXPECT_EQ(log.levels, s.levels) << s.append;
    EXPECT_EQ(log.closings, s.closings) << s.append;
    EXPECT_EQ(log.others, s.others) << s.append;
    EXPECT_EQ(records.size(), static_cast<size_t>(s.levels));
    if (!records.empty()) {
      EXPECT_EQ(records.back().ch[0], s.last0) << s.append;
    }
  }
  std::fclose(f);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].ch[2], 12u);
  EXPECT_DOUBLE_EQ(records[0].track_s, 15.0);
  EXPECT_DOUBLE_EQ(records[1].track_s, 22.5);
  EXPECT_DOUBLE_EQ(records[1].wall_s, 1.25);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace fulgora_play
