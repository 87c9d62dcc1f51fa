// Writes the demo track: 20 seconds of stereo 44.1 kHz audio in which the
// bass, the mids and the highs each move on their own, so that each LED
// channel visibly follows its band.
//   0- 5 s  bass drum on the beat (55 Hz), nothing else
//   5-10 s  a mid-range melody (1..2 kHz), pulsing on eighth notes
//  10-15 s  hi-hat like bursts of high noise (6..12 kHz) on sixteenth notes
//  15-20 s  all three together, each with its own rhythm
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tools/common/outputs.h"

namespace {

constexpr int rate = 44100;
constexpr double pi = 3.14159265358979323846;
constexpr double beat = 0.5;  // 120 bpm

// Exponentially decaying envelope that restarts every period.
double pulse(double t, double period, double decay) {
  const double phase = std::fmod(t, period);
  return std::exp(-phase / decay);
}

double bass(double t) {
  const double phase = std::fmod(t, beat);
  const double f = 55.0 + 60.0 * std::exp(-phase / 0.02);  // a short pitch drop
  return 0.9 * pulse(t, beat, 0.12) * std::sin(2 * pi * f * phase);
}

double mids(double t) {
  static const double notes[8] = {1047, 1175, 1319, 1397, 1568, 1760, 1976, 2093};
  const int step = static_cast<int>(t / (beat / 2)) % 8;
  const double f = notes[step];
  return 0.6 * pulse(t, beat / 2, 0.1) *
         (std::sin(2 * pi * f * t) + 0.5 * std::sin(2 * pi * 2 * f * t));
}

double highs(double t, std::mt19937& rng) {
  static std::uniform_real_distribution<double> noise(-1.0, 1.0);
  static double last = 0.0;
  // First difference of white noise: a crude high-pass.
  const double n = noise(rng);
  const double hp = n - last;
  last = n;
  return 0.35 * pulse(t, beat / 4, 0.025) * hp;
}

// The output, opened through the tools' gate (checked before any work), as
// a WAV that carries the tool's mark so that a later run may replace it.
struct track_file {
  FILE* out = nullptr;
  SNDFILE* file = nullptr;
  bool open(const char* path, SF_INFO& info) {
    std::string error;
    if (!fulgora_tools::outputs_allowed({{path, &fulgora_tools::demo_track_outputs[0]}}, {},
                                        error)) {
      std::fprintf(stderr, "fulgora-demo-track: %s\n", error.c_str());
      return false;
    }
    out = fulgora_tools::open_output(path, error);
    if (out) file = sf_open_fd(fileno(out), SFM_WRITE, &info, SF_FALSE);
    if (file) sf_set_string(file, SF_STR_COMMENT, fulgora_tools::demo_track_mark);
    if (!file)
      std::fprintf(stderr, "fulgora-demo-track: %s\n",
                   out ? (std::string(path) + ": " + sf_strerror(nullptr)).c_str() : error.c_str());
    return file != nullptr;
  }
  // Whether all frames were written and the file closed whole.
  bool close(bool written) {
    if (file) sf_close(file);
    const bool closed = !out || std::fclose(out) == 0;
    return written && closed;
  }
};

int write_bursts(char** argv) {
  const int srate = std::atoi(argv[2]);
  const double seconds = std::atof(argv[3]);
  if (!(srate >= 8000 && srate <= 384000 && seconds > 0 && seconds <= 3600)) {
    std::fprintf(stderr,
                 "fulgora-demo-track: --bursts needs a rate of 8000 to 384000 Hz and a length\n");
    return 2;
  }
  SF_INFO info{};
  info.samplerate = srate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  track_file track;
  if (!track.open(argv[4], info)) return 1;
  const long frames = std::lround(seconds * srate);
  std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
  std::mt19937 rng(static_cast<unsigned>(srate) + static_cast<unsigned>(seconds));
  std::uniform_real_distribution<double> noise(-0.5, 0.5), gap(0.6, 1.2);
  for (long at = std::lround(gap(rng) * srate); at + srate / 10 < frames;
       at += std::lround(gap(rng) * srate)) {
    std::printf("%ld\n", at);
    for (long i = at; i < at + srate / 10; ++i)
      out[2 * i] = out[2 * i + 1] = static_cast<float>(noise(rng));
  }
  return track.close(sf_writef_float(track.file, out.data(), frames) == frames) ? 0 : 1;
}

// The calibration track: 30 s (or seconds) of silence with a click on every whole second
// from 1 s on: 15 ms, loud in all three bands (a low and a mid tone under a
// burst of noise), decaying fast, so flash and click can be told apart by
// eye and ear.
int write_clicks(const char* path, long seconds) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  track_file track;
  if (!track.open(path, info)) return 1;
  const long frames = seconds * rate, click = rate * 15 / 1000;
  std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  for (long at = rate; at < frames; at += rate)
    for (long i = 0; i < click; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double v =
          std::exp(-t / 0.005) * (0.35 * noise(rng) + 0.35 * std::sin(2 * pi * 150 * t) +
                                  0.25 * std::sin(2 * pi * 2000 * t));
      out[2 * (at + i)] = out[2 * (at + i) + 1] = static_cast<float>(v);
    }
  return track.close(sf_writef_float(track.file, out.data(), frames) == frames) ? 0 : 1;
}

// --clicks [SECONDS] OUT.wav: 30 s unless the tests ask for a shorter one.
int clicks(int argc, char** argv) {
  long seconds = 30;
  if (argc == 4) {
    char* end = nullptr;
    seconds = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0') {
      std::fprintf(stderr, "fulgora-demo-track: --clicks %s: not a whole number of seconds\n",
                   argv[2]);
      return 2;
    }
    if (seconds < 2 || seconds > 3600) {
      std::fprintf(stderr,
                   "fulgora-demo-track: --clicks %s: needs 2 to 3600 seconds (the clicks "
                   "fall on every whole second from 1 s on)\n",
                   argv[2]);
      return 2;
    }
  }
  return write_clicks(argv[argc - 1], seconds);
}

// What the main track holds: the demo's four parts in length seconds, a
// steady tone, or onsets on chunk boundaries.
struct track_shape {
  bool onsets = false, tone = false;
  double tone_hz = 0.0, seconds = 20.0, length = 20.0;
  long chunk = 0, every = 0;
};

double sample_at(const track_shape& k, int i, std::mt19937& rng) {
  static std::uniform_real_distribution<double> noise(-0.5, 0.5);
  const double t = static_cast<double>(i) / rate, part = k.length / 4;
  if (k.onsets) return (i / k.chunk) % k.every < 2 ? noise(rng) : 0.0;
  if (k.tone) return 0.5 * std::sin(2 * pi * k.tone_hz * t);
  if (t < part) return bass(t);
  if (t < 2 * part) return mids(t);
  if (t < 3 * part) return highs(t, rng);
  return 0.6 * bass(t) + 0.5 * mids(t * 0.5) + 0.8 * highs(t, rng);
}

int write_track(const char* path, const track_shape& k) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | (k.tone || k.onsets ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
  track_file track;
  if (!track.open(path, info)) return 1;
  std::mt19937 rng(7);
  const int frames = static_cast<int>(std::lround(k.seconds * rate));
  std::vector<float> out(2 * static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i)
    out[2 * i] = out[2 * i + 1] =
        static_cast<float>(std::fmax(-1.0, std::fmin(1.0, sample_at(k, i, rng))));
  return track.close(sf_writef_float(track.file, out.data(), frames) == frames) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // --tone HZ SECONDS OUT.wav: a steady stereo sine instead, for tests.
  // --length SECONDS OUT.wav: the four parts squeezed into that length.
  // --onsets CHUNK EVERY SECONDS OUT.wav: silence with a burst of noise, two
  // chunks of CHUNK frames long, starting on every EVERY-th chunk boundary:
  // sharp onsets on chunk boundaries, for timing measurements.
  // --bursts RATE SECONDS OUT.wav: silence with bursts of noise, 100 ms long,
  // starting at random frames 0.6 to 1.2 s apart, at sample rate RATE; prints
  // each burst's first frame, one a line.
  // --clicks [SECONDS] OUT.wav: the calibration track (write_clicks).
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 5 && mode == "--bursts") return write_bursts(argv);
  if (mode == "--clicks" && (argc == 3 || argc == 4)) return clicks(argc, argv);
  track_shape k;
  k.onsets = argc == 6 && mode == "--onsets";
  k.tone = argc == 5 && mode == "--tone";
  const bool squeezed = argc == 4 && mode == "--length";
  const bool help = argc == 2 && (mode == "--help" || mode == "-h");
  if ((argc != 2 && !k.tone && !squeezed && !k.onsets) || (argc == 2 && mode[0] == '-')) {
    std::fprintf(help ? stdout : stderr,
                 "usage: fulgora-demo-track [--length SECONDS] OUT.wav\n"
                 "       fulgora-demo-track --tone HZ SECONDS OUT.wav\n"
                 "       fulgora-demo-track --onsets CHUNK EVERY SECONDS OUT.wav\n"
                 "       fulgora-demo-track --bursts RATE SECONDS OUT.wav\n"
                 "       fulgora-demo-track --clicks [SECONDS] OUT.wav\n"
                 "OUT.wav must be a free path or a track this tool wrote.\n");
    return help ? 0 : 2;
  }
  k.length = squeezed ? std::atof(argv[2]) : 20.0;
  if (!(k.length > 0 && k.length <= 3600)) {
    std::fprintf(stderr, "fulgora-demo-track: --length needs 0 to 3600 seconds\n");
    return 2;
  }
  k.chunk = k.onsets ? std::atol(argv[2]) : 0;
  k.every = k.onsets ? std::atol(argv[3]) : 0;
  if (k.onsets && !(k.chunk > 0 && k.every > 2 && std::atof(argv[4]) > 0)) {
    std::fprintf(stderr,
                 "fulgora-demo-track: --onsets needs a chunk size, a period above 2 "
                 "chunks and a length\n");
    return 2;
  }
  k.tone_hz = k.tone ? std::atof(argv[2]) : 0.0;
  k.seconds = k.tone ? std::atof(argv[3]) : k.onsets ? std::atof(argv[4]) : k.length;
  return write_track(argv[argc - 1], k);
}
