// Walks every tool's table of outputs and points each output at a user's
// text file, a user's WAV, a link to a user's file and the run's own input:
// each run must refuse with one line naming the path and exit 1, and every
// byte must stay as it was.
// usage: outputs_test BIN_FOLDER
#include "tools/common/outputs.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace fulgora_tools;

namespace {

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string le(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i) & 0xff);
  return s;
}

// A stereo 16-bit WAV of 0.1 s of a quiet ramp, as another program writes it.
std::string user_wav() {
  std::string data;
  for (int i = 0; i < 4410; ++i) data += le(static_cast<uint32_t>(i % 64), 2) + le(0, 2);
  const std::string fmt =
      le(1, 2) + le(2, 2) + le(44100, 4) + le(44100 * 4, 4) + le(4, 2) + le(16, 2);
  const std::string body =
      "WAVEfmt " + le(16, 4) + fmt + "data" + le(static_cast<uint32_t>(data.size()), 4) + data;
  return "RIFF" + le(static_cast<uint32_t>(body.size()), 4) + body;
}

std::string replaced(std::string s, const std::string& key, const std::string& value) {
  for (size_t at; (at = s.find(key)) != std::string::npos;) s.replace(at, key.size(), value);
  return s;
}

struct table {
  const char* tool;
  const output_use* begin;
  const output_use* end;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: outputs_test BIN_FOLDER\n"), 2;
  const std::string bin = argv[1];
  const table tables[] = {
      {"fulgora-demo-track", std::begin(demo_track_outputs), std::end(demo_track_outputs)},
      {"fulgora-record", std::begin(record_outputs), std::end(record_outputs)},
      {"fulgora-board", std::begin(board_outputs), std::end(board_outputs)},
      {"fulgora-play", std::begin(play_outputs), std::end(play_outputs)},
  };
  const fs::path work = fs::temp_directory_path() / ("outputs_test-" + std::to_string(getpid()));
  fs::create_directories(work);
  const fs::path notes = work / "notes.txt", song = work / "song.wav", link = work / "link.wav",
                 input = work / "input.wav";
  const std::string notes_bytes = "my notes\n", song_bytes = user_wav();
  int failures = 0, runs = 0;
  for (const table& t : tables) {
    if (!fs::exists(fs::path(bin) / t.tool)) {
      std::printf("skip: %s is not built here\n", t.tool);
      continue;
    }
    for (const output_use* use = t.begin; use != t.end; ++use) {
      const std::string command = use->command;
      std::vector<fs::path> victims = {notes, song, link};
      if (command.find("{IN}") != std::string::npos) victims.push_back(input);
      for (const fs::path& victim : victims) {
        put(notes, notes_bytes);
        put(song, song_bytes);
        put(input, song_bytes);
        fs::remove(link);
        fs::create_symlink(notes.filename(), link);
        std::string run = replaced(command, "{BIN}", bin);
        run = replaced(run, "{WORK}", work.string());
        run = replaced(run, "{IN}", input.string());
        run = replaced(run, "{OUT}", victim.string());
        const fs::path err = work / "stderr";
        const int status = std::system((run + " >/dev/null 2>" + err.string()).c_str());
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const std::string said = read_all(err);
        ++runs;
        std::string wrong;
        if (code != 1) wrong += " exit " + std::to_string(code) + ", not 1;";
        if (said.find('\n') + 1 != said.size() || said.find(victim.string()) == std::string::npos)
          wrong += " not one line naming the path;";
        if (read_all(notes) != notes_bytes) wrong += " the text file changed;";
        if (read_all(song) != song_bytes) wrong += " the WAV changed;";
        if (read_all(input) != song_bytes) wrong += " the input changed;";
        if (!fs::is_symlink(link) || fs::read_symlink(link) != notes.filename())
          wrong += " the link changed;";
        std::printf("%s: %s %s on %s: %s", wrong.empty() ? "ok" : "FAIL", t.tool, use->role,
                    victim.filename().c_str(), wrong.empty() ? said.c_str() : wrong.c_str());
        if (!wrong.empty())
          std::printf("\n  ran: %s\n  said: %s", run.c_str(),
                      said.empty() ? "nothing\n" : said.c_str());
        failures += !wrong.empty();
      }
    }
  }
  fs::remove_all(work);
  std::printf("%d runs, %d failed\n", runs, failures);
  return failures == 0 && runs > 0 ? 0 : 1;
}
