#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/settings_record.h"
#include "tests/support/temp_settings.h"
#include "tools/common/settings_file.h"
#include "tools/play/band_levels.h"
#include "tools/play/board_log.h"
#include "tools/play/live_view.h"
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

// The picture's band lanes: a tone after silence shows in its own band, from
// the time it is heard, across files played as one stream.
TEST(measure_bands, a_tone_shows_in_its_band_when_it_is_heard) {
  const unsigned rate = 44100;
  std::vector<decoded_audio> audio(2);
  for (decoded_audio& a : audio) {
    a.channels = 2;
    a.rate = rate;
    a.frames = rate;
    a.samples.assign(2 * a.frames, 0);
  }
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
  decoded_audio click = audio[0];
  click.frames = 2 * rate;
  click.samples.assign(2 * click.frames, 0);
  for (size_t i = 0; i < rate / 50; ++i)
    click.samples[2 * (rate + i)] = click.samples[2 * (rate + i) + 1] =
        static_cast<audio_sample>(0.8 * std::sin(2 * 3.14159265358979 * 150.0 * i / rate));
  const std::vector<band_sample> heard = measure_bands({click}, 4096, fulgora::led_settings());
  const auto loudness = [](const band_sample& b) { return b.level[0] + b.level[1] + b.level[2]; };
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
