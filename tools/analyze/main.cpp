// fulgora-analyze: runs the component's measuring half (capture, analysis,
// history, shaping) over audio files, one cycle per chunk, and prints the
// band levels and channel bytes. For tuning a settings file without a board.
#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/band_analyzer.h"
#include "engine/led_settings.h"
#include "engine/measure.h"
#include "host/audio_chunk.h"

namespace {

struct options {
  const char* settings = nullptr;
  unsigned chunk = 4096;
  bool csv = false;
  std::vector<const char*> files;
};

void usage(FILE* to) {
  std::fputs(
      "usage: fulgora-analyze [--settings FILE] [--chunk FRAMES] [--csv] AUDIO...\n"
      "  --settings FILE  settings file to use (default: $FULGORA_INI, else\n"
      "                   components/foo_Fulgora.ini)\n"
      "  --chunk FRAMES   frames per chunk, as the player hands them over (default 4096)\n"
      "  --csv            print time_s,low,mid,high,ch0,ch1,ch2 rows\n",
      to);
}

bool parse_args(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else if (a == "--csv") {
      o.csv = true;
    } else if (a == "--settings" && i + 1 < argc) {
      o.settings = argv[++i];
    } else if (a == "--chunk" && i + 1 < argc) {
      char* end = nullptr;
      errno = 0;
      const unsigned long v = std::strtoul(argv[++i], &end, 10);
      if (*end != 0 || errno != 0 || v == 0 || v > (1u << 24)) {
        std::fprintf(stderr, "fulgora-analyze: --chunk needs a frame count from 1 to 16777216\n");
        return false;
      }
      o.chunk = static_cast<unsigned>(v);
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "fulgora-analyze: unknown option %s\n", a.c_str());
      return false;
    } else {
      o.files.push_back(argv[i]);
    }
  }
  if (o.files.empty()) {
    usage(stderr);
    return false;
  }
  return true;
}

inline sf_count_t read_frames(SNDFILE* file, float* out, sf_count_t frames) {
  return sf_readf_float(file, out, frames);
}
inline sf_count_t read_frames(SNDFILE* file, double* out, sf_count_t frames) {
  return sf_readf_double(file, out, frames);
}

// Analyses one file; false (after a one-line message) when it cannot be read.
bool analyze_file(const char* path, const options& o, fulgora::led_settings& settings,
                  fulgora::level_history& history, bool& header) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (!file) {
    std::fprintf(stderr, "fulgora-analyze: %s: %s\n", path, sf_strerror(nullptr));
    return false;
  }
  if (info.channels != 2) {
    std::fprintf(stderr, "fulgora-analyze: %s: has %d channel(s); only 2-channel audio is measured\n",
                 path, info.channels);
    sf_close(file);
    return false;
  }
  if (!header) {
    header = true;
    if (o.csv)
      std::printf("time_s,low,mid,high,ch0,ch1,ch2\n");
    else
      std::printf("%10s  %8s %8s %8s   %3s %3s %3s\n", "time_s", "low", "mid", "high", "ch0",
                  "ch1", "ch2");
  }
  fulgora::band_analyzer analyzer;
  uint8_t channels[3] = {0, 0, 0};
  // The component's own sample type, so the bytes are those it would send.
  std::vector<audio_sample> buffer(static_cast<size_t>(o.chunk) * 2);
  audio_chunk_impl chunk;
  sf_count_t position = 0;
  for (;;) {
    const sf_count_t got = read_frames(file, buffer.data(), o.chunk);
    if (got <= 0) break;
    chunk.set_data(buffer.data(), static_cast<size_t>(got), 2,
                   static_cast<unsigned>(info.samplerate));
    const double time = static_cast<double>(position) / info.samplerate;
    position += got;
    analyzer.capture(chunk);
    if (!fulgora::measure_block(analyzer, settings, history, channels)) {
      std::printf(o.csv ? "%.6f,,,,,,\n" : "%10.3f  (no levels)\n", time);
      continue;
    }
    if (o.csv)
      std::printf("%.6f,%.6f,%.6f,%.6f,%u,%u,%u\n", time, analyzer.low_level, analyzer.mid_level,
                  analyzer.high_level, channels[0], channels[1], channels[2]);
    else
      std::printf("%10.3f  %8.4f %8.4f %8.4f   %3u %3u %3u\n", time, analyzer.low_level,
                  analyzer.mid_level, analyzer.high_level, channels[0], channels[1], channels[2]);
  }
  const int error = sf_error(file);
  sf_close(file);
  if (error != SF_ERR_NO_ERROR) {
    std::fprintf(stderr, "fulgora-analyze: %s: %s\n", path, sf_error_number(error));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse_args(argc, argv, o)) return 2;
  if (o.settings) {
    if (FILE* f = std::fopen(o.settings, "rb")) {
      std::fclose(f);
    } else {
      std::fprintf(stderr, "fulgora-analyze: %s: cannot open settings file\n", o.settings);
      return 1;
    }
    setenv("FULGORA_INI", o.settings, 1);
  }
  fulgora::led_settings settings;
  fulgora::level_history history;
  if (!fulgora::load_settings(settings, history))
    std::fprintf(stderr,
                 "fulgora-analyze: a settings value is empty or malformed: using the built-in "
                 "defaults, as the component would\n");
  bool header = false;
  for (const char* path : o.files)
    if (!analyze_file(path, o, settings, history, header)) return 1;
  return 0;
}
