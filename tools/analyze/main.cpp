// fulgora-analyze: runs the component's measuring half (capture, analysis,
// history, shaping) over audio files, one cycle per chunk, and prints the
// band levels and channel bytes. For tuning a settings file without a board.
#include <sndfile.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "analysis/band_analyzer.h"
#include "engine/led_settings.h"
#include "engine/measure.h"
#include "engine/notices.h"
#include "engine/settings_record.h"
#include "host/audio_chunk.h"
#include "platform/settings_reader.h"
#include "tools/common/settings_file.h"

namespace {

struct options {
  std::string settings;
  unsigned chunk = 4096;
  bool csv = false;
  std::vector<const char*> files;
};

void usage(FILE* to) {
  std::fputs(
      "usage: fulgora-analyze [--settings FILE] [--chunk FRAMES] [--csv] AUDIO...\n"
      "  --settings FILE  settings file to use (default: $FULGORA_INI, else\n"
      "                   components/foo_Fulgora.ini, else foo_Fulgora.ini beside\n"
      "                   this tool); every bad or unknown key in it is named\n"
      "  --chunk FRAMES   frames per chunk, as the player hands them over (default 4096)\n"
      "  --csv            print time_s,low,mid,high,ch0,ch1,ch2 rows (with several\n"
      "                   files a first column, file)\n",
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

std::string base_name(const char* path) {
  const std::string p = path;
  const size_t slash = p.find_last_of('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::vector<std::string> g_settings_notes;  // said before the first row

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// Analyses one file; false (after a one-line message) when it cannot be read.
// The file, open, when it is stereo audio; null once it said why not.
SNDFILE* open_stereo(const char* path, SF_INFO& info) {
  struct stat st;
  if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "fulgora-analyze: %s: a folder, not an audio file\n", path);
    return nullptr;
  }
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (!file) {
    std::fprintf(stderr, "fulgora-analyze: %s: %s\n", path, sf_strerror(nullptr));
    return nullptr;
  }
  if (info.channels == 2) return file;
  char why[100];
  fulgora::channels_text(static_cast<unsigned>(info.channels), why, sizeof why);
  std::fprintf(stderr, "fulgora-analyze: %s: %s; the component measures none of it\n", path, why);
  sf_close(file);
  return nullptr;
}

// Before the first row: the notes on the settings, then the column heads.
void print_header(const options& o, bool named) {
  for (const std::string& note : g_settings_notes)
    std::fprintf(stderr, "fulgora-analyze: %s\n", note.c_str());
  if (o.csv)
    std::printf("%stime_s,low,mid,high,ch0,ch1,ch2\n", named ? "file," : "");
  else
    std::printf("%s%10s  %8s %8s %8s   %3s %3s %3s\n", named ? "file  " : "", "time_s", "low",
                "mid", "high", "ch0", "ch1", "ch2");
}

// One chunk's row: its levels and bytes, or why it has none (measured false).
void print_row(const options& o, const std::string& lead, double time,
               const fulgora::band_analyzer& analyzer, bool measured, const uint8_t channels[3]) {
  if (!measured) {
    char why[200] = "a chunk of fewer than 2 frames";
    fulgora::no_levels_text(analyzer, why, sizeof why);
    if (o.csv)
      std::printf("%s%.6f,,,,,,\n", lead.c_str(), time);
    else
      std::printf("%s%10.3f  (no levels: %s)\n", lead.c_str(), time, why);
  } else if (o.csv) {
    std::printf("%s%.6f,%.6f,%.6f,%.6f,%u,%u,%u\n", lead.c_str(), time, analyzer.low_level,
                analyzer.mid_level, analyzer.high_level, channels[0], channels[1], channels[2]);
  } else {
    std::printf("%s%10.3f  %8.4f %8.4f %8.4f   %3u %3u %3u\n", lead.c_str(), time,
                analyzer.low_level, analyzer.mid_level, analyzer.high_level, channels[0],
                channels[1], channels[2]);
  }
}

bool analyze_file(const char* path, const options& o, fulgora::led_settings& settings,
                  fulgora::level_history& history, bool& header) {
  SF_INFO info{};
  SNDFILE* file = open_stereo(path, info);
  if (!file) return false;
  const bool named = o.files.size() > 1;
  if (!header) print_header(o, named);
  header = true;
  // The file's name leads each row when there are several.
  const std::string name = base_name(path);
  const std::string lead = !named ? "" : o.csv ? csv_field(name) + "," : name + "  ";
  fulgora::band_analyzer analyzer;
  uint8_t channels[3] = {0, 0, 0};
  // The component's own sample type, so the bytes are those it would send.
  std::vector<audio_sample> buffer(static_cast<size_t>(o.chunk) * 2);
  audio_chunk_impl chunk;
  sf_count_t position = 0;
  for (sf_count_t got; (got = read_frames(file, buffer.data(), o.chunk)) > 0; position += got) {
    chunk.set_data(buffer.data(), static_cast<size_t>(got), 2,
                   static_cast<unsigned>(info.samplerate));
    capture_chunk(analyzer, chunk);
    const bool measured = fulgora::measure_block(analyzer, settings, history, channels);
    print_row(o, lead, static_cast<double>(position) / info.samplerate, analyzer, measured,
              channels);
  }
  const int error = sf_error(file);
  sf_close(file);
  if (error != SF_ERR_NO_ERROR) {
    std::fprintf(stderr, "fulgora-analyze: %s: %s\n", path, sf_error_number(error));
    return false;
  }
  return true;
}

// Chooses the settings file (empty path: none anywhere) and notes which it
// is and everything wrong in it; false (after one line) when the named file
// cannot be used.
bool choose_settings(const options& o, std::string& path) {
  std::string error;
  if (!fulgora_tools::choose_settings(o.settings, fulgora::own_module_path(), path, error)) {
    std::fprintf(stderr, "fulgora-analyze: %s\n", error.c_str());
    return false;
  }
  if (path.empty()) {
    g_settings_notes.push_back(
        "no settings file found (components/foo_Fulgora.ini, foo_Fulgora.ini beside this "
        "tool): using the defaults of a file without keys; the component would drive no board");
    return true;
  }
  g_settings_notes.push_back("settings from " + path);
  for (const std::string& finding : fulgora_tools::check_settings(path))
    g_settings_notes.push_back(finding);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse_args(argc, argv, o)) return 2;
  std::string settings_path;
  if (!choose_settings(o, settings_path)) return 1;
  // An allocation that fails (the analyser's buffers for a huge --chunk):
  // one line and a failed exit, not an abort.
  try {
    fulgora::led_settings settings;
    fulgora::level_history history;
    fulgora::settings_fault fault;
    if (!fulgora::load_settings(fulgora::read_settings(settings_path), settings, history, &fault)) {
      char text[200];
      fulgora::settings_fault_text(fault, text, sizeof text);
      g_settings_notes.push_back(std::string("the component would say: settings: ") + text + ".");
    }
    bool header = false;
    for (const char* path : o.files)
      if (!analyze_file(path, o, settings, history, header)) return 1;
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fulgora-analyze: stopped by an error: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "fulgora-analyze: stopped by an unknown error\n");
  }
  return 1;
}
