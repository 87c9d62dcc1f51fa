#include "tools/play/options.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace fulgora_play {
namespace {

// "AT:VALUE", two non-negative numbers of seconds.
bool pair_of(const char* text, double& at, double& value) {
  char* end = nullptr;
  at = std::strtod(text, &end);
  if (end == text || *end != ':') return false;
  const char* second = end + 1;
  value = std::strtod(second, &end);
  return end != second && *end == 0 && at >= 0 && value >= 0;
}

void usage(FILE* to) {
  std::fputs(
      "usage: fulgora-play [--component PATH] [--settings FILE] [--chunk FRAMES] [--fast]\n"
      "                    [--no-sound] [--buffer-ms MS] [--seek AT:TO] [--pause AT:SECONDS]\n"
      "                    [--clock-step MS] [--swap-at SECONDS] [--rebuild-at SECONDS]\n"
      "                    [--after crossfade|delay|skip-silence|resample]\n"
      "                    [--second-chain AT[:SECONDS]] [--vis-no-lookahead]\n"
      "                    [--vis-late-start MS] [--vis-backlog MS]\n"
      "                    [--vis-drop EVERY_MS:SPAN_MS] [--vis-short]\n"
      "                    [--board [--plot FILE.svg] [--log FILE.csv]] AUDIO...\n"
      "  --component PATH  the component library (default: foo_Fulgora beside this tool)\n"
      "  --settings FILE   the settings file the component reads (copied to\n"
      "                    components/foo_Fulgora.ini in a private working folder;\n"
      "                    default: $FULGORA_INI, else the file the component finds)\n"
      "  --chunk FRAMES    frames per chunk (default 4096)\n"
      "  --fast            as fast as possible instead of at the audio rate (no\n"
      "                    modelled output, no playback clock); with --board each\n"
      "                    chunk waits for its command to reach the board, so (nearly)\n"
      "                    every stereo chunk is measured, as at the audio rate\n"
      "  --no-sound        play to no sound card: a modelled output and its clock\n"
      "                    (where sound is built in, the default output device plays,\n"
      "                    PULSE_SINK=NAME another, and its position is the clock)\n"
      "  --buffer-ms MS    the output's buffer (the sound card's, else the modelled\n"
      "                    one's), as the player's \"output buffer length\" (default\n"
      "                    1000): the DSP runs up to MS ahead of what is heard, in a\n"
      "                    burst at the start and after a seek\n"
      "  --clock-step MS   the playback clock advances in steps of MS, as an output\n"
      "                    that reports its position per write (default 0: smooth)\n"
      "  --seek AT:TO      when the heard position reaches AT seconds, seek to TO\n"
      "  --pause AT:SECONDS  when the heard position reaches AT, pause for SECONDS\n"
      "                    (positions run through all the files as one stream)\n"
      "  --swap-at SECONDS when the heard position (with --fast, the played one)\n"
      "                    reaches SECONDS, swap the DSP chain as the player does when\n"
      "                    its DSP settings change: a new instance is made while the\n"
      "                    old one lives, the old one runs once more with FLUSH and is\n"
      "                    released, the new one runs on\n"
      "  --rebuild-at SECONDS  likewise, but only the DSP after ours changed: ours is\n"
      "                    kept and runs on without FLUSH\n"
      "  --after crossfade|delay|skip-silence|resample  a DSP of the stand-in's\n"
      "                    own after ours: crossfade asks for track-change marks (so\n"
      "                    ours gets FLUSH at every track end) and mixes the last\n"
      "                    200 ms of each track into the start of the next (what is\n"
      "                    played is 200 ms shorter at every track change); delay\n"
      "                    asks for the marks too and holds 200 ms back; skip-silence\n"
      "                    cuts silences longer than 100 ms to 20 ms; resample makes\n"
      "                    48 kHz of the audio, and the output counts that rate\n"
      "  --second-chain AT[:SECONDS]  when the position reaches AT, a second chain\n"
      "                    with a new instance of the DSP (same settings) converts\n"
      "                    SECONDS (default 8) of an 11 kHz tone at 4 times the audio\n"
      "                    rate on a thread of its own while playback goes on, as\n"
      "                    the player's converter does\n"
      "  The player's visualisation streams serve what was played (after --after),\n"
      "  on the clock's time line, written ahead and 5 s behind; what the player\n"
      "  does not promise of them, each alone or together:\n"
      "  --vis-no-lookahead  nothing past the clock's position\n"
      "  --vis-late-start MS  nothing for MS after a stream is made, nor anything\n"
      "                    played before then (0: only what is played after)\n"
      "  --vis-backlog MS  only MS behind the clock's position\n"
      "  --vis-drop EVERY_MS:SPAN_MS  the last SPAN_MS of every EVERY_MS of what is\n"
      "                    played never comes through\n"
      "  --vis-short       every answer half as long as asked\n"
      "  (a window across a change of rate or channels ends at the change)\n"
      "  --board           start the simulated LED board (fulgora-board) and point the\n"
      "                    component at it; shows its channels live on a terminal\n"
      "  --plot FILE.svg   with --board: draw the channel bytes the board received\n"
      "  --log FILE.csv    with --board: each line the board received, as\n"
      "                    time_s,heard_s,line,ch0,ch1,ch2 (heard_s: the heard\n"
      "                    position when the line arrived)\n"
      "  An existing --plot or --log file is replaced only if this tool wrote it.\n",
      to);
}

// An option that takes a checked value, with it: 1 when taken, -1 when the
// value is wrong (after a message), 0 when `a` is none of them.
int numeric_option(const std::string& a, const char* value, options& o) {
  char* end = nullptr;
  if (a == "--buffer-ms") {
    o.buffer_ms = std::strtod(value, &end);
    if (*end == 0 && o.buffer_ms >= 0 && o.buffer_ms <= 60000) return 1;
    std::fprintf(stderr, "fulgora-play: --buffer-ms needs milliseconds from 0 to 60000\n");
  } else if (a == "--clock-step") {
    o.clock_step_ms = std::strtod(value, &end);
    if (*end == 0 && o.clock_step_ms >= 0 && o.clock_step_ms <= 1000) return 1;
    std::fprintf(stderr, "fulgora-play: --clock-step needs milliseconds from 0 to 1000\n");
  } else if (a == "--seek" || a == "--pause") {
    double& at = a == "--seek" ? o.seek_at : o.pause_at;
    double& length = a == "--seek" ? o.seek_to : o.pause_for;
    if (pair_of(value, at, length)) return 1;
    std::fprintf(stderr, "fulgora-play: %s needs two times in seconds, as 12.5:3\n", a.c_str());
  } else if (a == "--swap-at") {
    o.swap_at = std::strtod(value, &end);
    if (*end == 0 && o.swap_at >= 0) return 1;
    std::fprintf(stderr, "fulgora-play: --swap-at needs a time in seconds\n");
  } else if (a == "--rebuild-at") {
    o.rebuild_at = std::strtod(value, &end);
    if (*end == 0 && o.rebuild_at >= 0) return 1;
    std::fprintf(stderr, "fulgora-play: --rebuild-at needs a time in seconds\n");
  } else if (a == "--second-chain") {
    o.second_at = std::strtod(value, &end);
    if (*end == ':') o.second_for = std::strtod(end + 1, &end);
    if (*end == 0 && o.second_at >= 0 && o.second_for > 0 && o.second_for <= 3600) return 1;
    std::fprintf(stderr, "fulgora-play: --second-chain needs AT or AT:SECONDS, as 2 or 2:8\n");
  } else if (a == "--after") {
    o.after = value;
    if (o.after == "crossfade" || o.after == "delay" || o.after == "skip-silence" ||
        o.after == "resample")
      return 1;
    std::fprintf(stderr,
                 "fulgora-play: --after needs crossfade, delay, skip-silence or resample\n");
  } else if (a == "--chunk") {
    const unsigned long v = std::strtoul(value, &end, 10);
    o.chunk = static_cast<unsigned>(v);
    if (*end == 0 && v != 0 && v <= (1u << 22)) return 1;
    std::fprintf(stderr, "fulgora-play: --chunk needs a frame count from 1 to 4194304\n");
  } else {
    return 0;
  }
  return -1;
}

// The --vis-* switches that take a value, as numeric_option.
int vis_option(const std::string& a, const char* value, options& o) {
  char* end = nullptr;
  if (a == "--vis-late-start" || a == "--vis-backlog") {
    const double ms = std::strtod(value, &end);
    if (*end == 0 && ms >= 0 && ms <= 60000) {
      (a == "--vis-backlog" ? o.vis.backlog_s : o.vis.late_start_s) = ms / 1000;
      return 1;
    }
    std::fprintf(stderr, "fulgora-play: %s needs milliseconds from 0 to 60000\n", a.c_str());
  } else if (a == "--vis-drop") {
    double every = 0, span = 0;
    if (pair_of(value, every, span) && span > 0 && span < every) {
      o.vis.drop_every_s = every / 1000;
      o.vis.drop_span_s = span / 1000;
      return 1;
    }
    std::fprintf(stderr, "fulgora-play: --vis-drop needs EVERY_MS:SPAN_MS, SPAN_MS shorter\n");
  } else {
    return 0;
  }
  return -1;
}

// Options that need others, or exclude them.
bool combination_fits(const options& o) {
  if (!o.plot.empty() && !o.board) {
    std::fprintf(
        stderr,
        "fulgora-play: --plot needs --board (it draws what the simulated board received)\n");
    return false;
  }
  if (!o.log.empty() && !o.board) {
    std::fprintf(
        stderr, "fulgora-play: --log needs --board (it lists what the simulated board received)\n");
    return false;
  }
  if (o.fast && (o.seek_at >= 0 || o.pause_at >= 0)) {
    std::fprintf(stderr,
                 "fulgora-play: --seek and --pause need play at the audio rate, not --fast\n");
    return false;
  }
  return true;
}

}  // namespace

bool parse(int argc, char** argv, options& o) {
  std::set<std::string> given;  // options with a value: one of each a run
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    int numeric = more ? numeric_option(a, argv[i + 1], o) : 0;
    if (numeric == 0 && more) numeric = vis_option(a, argv[i + 1], o);
    if (numeric < 0) return false;
    const bool valued =
        numeric > 0 ||
        ((a == "--plot" || a == "--log" || a == "--component" || a == "--settings") && more);
    if (valued && !given.insert(a).second) {
      std::fprintf(stderr,
                   "fulgora-play: %s given twice: a run takes one (the last, %s, would "
                   "silently replace the first)\n",
                   a.c_str(), argv[i + 1]);
      return false;
    }
    if (numeric > 0) {
      ++i;
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      std::exit(0);
    } else if (a == "--vis-no-lookahead" || a == "--vis-short") {
      (a == "--vis-short" ? o.vis.short_chunks : o.vis.no_lookahead) = true;
    } else if (a == "--fast" || a == "--board" || a == "--no-sound") {
      (a == "--fast" ? o.fast : a == "--board" ? o.board : o.no_sound) = true;
    } else if ((a == "--plot" || a == "--log" || a == "--component" || a == "--settings") && more) {
      std::string& value = a == "--plot"        ? o.plot
                           : a == "--log"       ? o.log
                           : a == "--component" ? o.component
                                                : o.settings;
      value = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "fulgora-play: unknown option %s\n", a.c_str());
      return false;
    } else {
      o.files.push_back(a);
    }
  }
  if (o.files.empty()) {
    std::fprintf(stderr,
                 "fulgora-play: no audio file given (fulgora-play --help lists the options)\n");
    return false;
  }
  return combination_fits(o);
}

}  // namespace fulgora_play
