// fulgora-play: a stand-in for the player. Loads the component by path and
// uses only its export, as the player does; plays audio files through the
// DSP at the audio rate (or --fast) and checks that every chunk leaves it
// bit-identical. Standard output carries the component's console lines only;
// the stand-in's own messages go to standard error.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/led_settings.h"
#include "engine/settings_record.h"
#include "platform/process.h"
#include "platform/utf8.h"
#include "tools/common/output_file.h"
#include "tools/common/settings_file.h"
#include "tools/play/board_child.h"
#include "tools/play/component.h"
#include "tools/play/inputs.h"
#include "tools/play/options.h"
#include "tools/play/plot.h"
#include "tools/play/run_checks.h"
#include "tools/play/settings_follow.h"
#include "tools/play/sound_output.h"
#include "tools/play/transport.h"

namespace fs = std::filesystem;
using namespace fulgora_play;

namespace {

int fail(const std::string& message) {
  std::fprintf(stderr, "fulgora-play: %s\n", message.c_str());
  return 1;
}

// The settings the component reads, in a private working folder that goes
// on every way out, an exception included.
struct settings_state {
  std::string path;  // the user's file; empty: none
  std::string text;
  bool have = false;
  std::string board_port;          // with --board: the port the copy must name
  std::vector<std::string> notes;  // said once the component is loaded
  fs::path workdir;
  std::string source;  // the user's file, absolute: LIVE=1 follows it
  ~settings_state() {
    if (workdir.empty()) return;
    std::error_code ignored;
    fs::current_path(workdir.parent_path(), ignored);
    fulgora_tools::remove_work_folder(utf8(workdir));
  }
};

// The component reads components/foo_Fulgora.ini from the working folder,
// as in the player's folder: give it a private one holding the file.
// The copy in that folder is the only file it reads: FULGORA_INI, which
// would win over it, goes.
bool prepare_settings(settings_state& s, std::string& error) {
  std::error_code ec;
  const std::string& path = s.path;
#ifndef _WIN32
  unsetenv("FULGORA_INI");
#endif
  if (!path.empty()) {
    std::ifstream in(fs::absolute(path, ec), std::ios::binary);
    if (!in) return error = path + ": cannot read the settings file", false;
    s.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    s.have = true;
    s.source = utf8(fs::absolute(path, ec));
  }
  if (path.empty())
    s.notes.push_back(
        "no settings file found (components/foo_Fulgora.ini, "
        "foo_Fulgora.ini beside the component)");
  else
    s.notes.push_back("settings from " + path);
  if (!path.empty())
    for (const std::string& finding : fulgora_tools::check_settings(path))
      s.notes.push_back(finding);
  // A run killed before it could remove its folder leaves it to the next.
  const std::string dir = fulgora_tools::make_work_folder("fulgora-play", error);
  if (dir.empty()) return error = "cannot prepare a working folder: " + error, false;
  s.workdir = fs::u8path(dir);
  return true;
}

bool enter_working_folder(const settings_state& s, std::string& error) {
  if (!s.have) return true;
  if (!fulgora_tools::write_in_work_folder(utf8(s.workdir), "components/foo_Fulgora.ini", s.text,
                                           error))
    return error = "cannot write the settings into the working folder: " + error, false;
  std::error_code ec;
  fs::current_path(s.workdir, ec);
  if (s.board_port.empty()) return true;
  // The simulation must never drive the port the user's file names.
  const fulgora::settings_record copy =
      fulgora::read_settings(utf8(s.workdir / "components" / "foo_Fulgora.ini"));
  if (std::wstring(copy.PORTNAME) != std::wstring(s.board_port.begin(), s.board_port.end()))
    return error = "cannot be sure the component would drive the simulated board; not played",
           false;
  return true;
}

bool start_board(const fs::path& self, const std::string& csv, board_child& board,
                 settings_state& s, std::string& error) {
  std::string device;
  if (!board.start(utf8(self.parent_path() / "fulgora-board"), csv, device, error)) return false;
  // Written afresh from what the component's reader finds, so that no
  // encoding of the user's file can leave its own port in the copy. A file
  // without [SETTING] gives an empty copy (the check says why), so the
  // simulation does what the player would: nothing.
  if (!fulgora_tools::settings_for_board(s.path, device, s.text, error)) return false;
  if (!s.text.empty()) s.board_port = device;
  s.have = true;
  std::fprintf(stderr, "fulgora-play: simulated board on %s\n", device.c_str());
  return true;
}

// What the component will read from the copy, and the routing it will use
// (its built-in one when a value fails the load), for the channels' labels.
fulgora::settings_record copy_record(const settings_state& s) {
  return s.have ? fulgora::read_settings(utf8(s.workdir / "components" / "foo_Fulgora.ini"))
                : fulgora::settings_record();
}
fulgora::led_settings routing_settings(const fulgora::settings_record& record) {
  fulgora::led_settings routing;
  fulgora::level_history unused;
  fulgora::load_settings(record, routing, unused);
  return routing;
}

// What the run leaves behind: the summary, the log and the picture.
struct run_result {
  play_report report;
  double wall_s = 0, heard_end_s = 0;
  fulgora::led_settings settings;
  std::string mode;
  std::vector<std::string> console;  // the component's first lines
  std::vector<play_event> reloads;   // live edits the component took
  std::vector<band_sample> bands;    // what was heard, where it was heard
};

// Each "settings: reloaded." where it was heard, with what the edit set.
std::vector<play_event> reload_marks(live_view& view, const settings_follow& follow,
                                     const transport& t) {
  std::vector<play_event> out;
  const std::vector<settings_follow::passed> copies = follow.copies();
  for (const auto& at : view.reloads()) {
    std::string what = "settings reloaded";
    for (const settings_follow::passed& c : copies)
      if (c.at <= at) what = "reloaded: " + c.sync;
    const double s = std::chrono::duration<double>(at.time_since_epoch()).count();
    out.push_back({play_event::reload, t.track_at(s), 0,
                   std::chrono::duration<double>(at - t.start).count(), what});
  }
  return out;
}

int finish(const options& o, const run_paths& p, const run_result& r, const transport& t,
           const board_watch& watch, long reply_errors, const std::vector<decoded_audio>& audio) {
  // Each line fits 80 columns.
  std::fprintf(stderr, "fulgora-play: %s: %zu chunks, %.1f s; audio bit-identical: %s\n",
               r.report.interrupted ? "interrupted" : "done", r.report.chunks, r.report.played_s,
               r.report.changed == 0 ? "yes" : "NO");
  if (o.board) {
    const long levels = watch.log.levels, closings = watch.log.closings;
    std::fprintf(stderr, "fulgora-play: board got %ld level commands (%.1f/s), %ld closing\n",
                 levels, r.wall_s > 0 ? levels / r.wall_s : 0.0, closings);
    std::fprintf(stderr, "fulgora-play: replies accepted: %ld, refused or broken: %ld\n",
                 std::max(0L, levels + closings - reply_errors), reply_errors);
  }
  if (!p.log.empty()) {
    if (!write_heard_log(watch.log, utf8(p.log)))
      return fail(utf8(p.log) + ": cannot write the log");
    std::fprintf(stderr, "fulgora-play: board log written to %s\n", utf8(p.log).c_str());
  }
  if (!p.plot.empty()) {
    plot_data d;
    d.title = "foo_Fulgora: " + utf8(p.files.front().filename());
    d.mode = r.mode + (r.reloads.empty() ? "" : " at the start; changed live (marked below)");
    d.events = t.events;
    d.events.insert(d.events.end(), r.reloads.begin(), r.reloads.end());
    d.console = r.console;
    d.total_s = std::max(r.heard_end_s, total_seconds(audio));
    d.records = watch.records;
    // --fast plays nothing: only the files can be measured.
    d.bands = o.fast ? measure_bands(audio, o.chunk, r.settings) : r.bands;
    d.bands_from = o.fast ? "--fast plays nothing: the input files' band levels"
                   : o.after.empty()
                       ? "the band levels of the sound as heard"
                       : "the band levels of the sound as heard (after --after " + o.after + ")";
    d.routing[0] = r.settings.LOW_LEDTYPE, d.routing[1] = r.settings.MID_LEDTYPE;
    d.routing[2] = r.settings.HI_LEDTYPE;
    if (!write_plot(utf8(p.plot), d)) return fail(utf8(p.plot) + ": cannot write the picture");
    std::fprintf(stderr, "fulgora-play: picture written to %s\n", utf8(p.plot).c_str());
  }
  if (r.report.interrupted) return fulgora::interrupted_exit_status();
  return r.report.changed == 0 ? 0 : 3;
}

// The sound card, unless --no-sound or --fast; where none answers, one line
// says so and the modelled output plays.
std::unique_ptr<sound_output> open_card(const options& o, const std::vector<decoded_audio>& audio) {
  if (o.no_sound || o.fast) return nullptr;
  std::string why;
  std::unique_ptr<sound_output> card;
  const decoded_audio& first = audio.front();
  for (const decoded_audio& a : audio)
    if (a.rate != first.rate || a.channels != first.channels)
      why = "the files differ in rate or channels";
  if (why.empty()) card = open_sound(first.rate, first.channels, o.buffer_ms / 1000.0, why);
  if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
  if (card)
    std::fprintf(stderr, "fulgora-play: sound to %s\n", card->device().c_str());
  else if (!why.empty())  // a build without sound has only the model: nothing to say
    std::fprintf(stderr, "fulgora-play: no sound (%s): the modelled output plays\n", why.c_str());
  return card;
}

// The component started on the stand-in's services, and the lines that say
// what was loaded and what the settings note; null when it registers no
// Fulgora DSP entry.
dsp_entry* start_component(const options& o, const run_paths& p, const settings_state& settings,
                           const fulgora::settings_record& record, player_services& services,
                           component& comp) {
  // Asked when the port fails: a live edit may have named another.
  services.console.port_trouble = [&settings] {
    const fulgora::settings_record now = copy_record(settings);
    return port_trouble(fulgora::utf8_of(now.PORTNAME, std::wcslen(now.PORTNAME)));
  };
  comp.start(&services, utf8(p.component.stem()));
  const std::string version = comp.version();
  if (!version.empty())
    std::fprintf(stderr, "fulgora-play: loaded %s from %s\n", version.c_str(),
                 utf8(p.component).c_str());
  for (const std::string& note : settings.notes)
    std::fprintf(stderr, "fulgora-play: %s\n", note.c_str());
  const std::string sync_note = fast_sync_note(o, record);
  if (!sync_note.empty()) std::fprintf(stderr, "fulgora-play: %s\n", sync_note.c_str());
  return comp.fulgora_entry();
}

// The loaded component through one playback: its DSP made, played, released
// with the component unloaded; then the board's last rows.
int run(const options& o, const run_paths& p, const std::vector<decoded_audio>& audio,
        const settings_state& settings, board_child& board, const std::string& board_csv,
        component& comp) {
  live_view view(fulgora::stdout_is_terminal(), fulgora::terminal_columns());
  run_result r;
  const fulgora::settings_record record = copy_record(settings);
  r.settings = routing_settings(record);
  r.mode = mode_text(o, record, audio);
  const int route[3] = {r.settings.LOW_LEDTYPE, r.settings.MID_LEDTYPE, r.settings.HI_LEDTYPE};
  for (int c = 0; c < 3; ++c) view.labels[c] = channel_bands(c, route);
  static player_services services;
  services.console.view = &view;
  dsp_entry* entry = start_component(o, p, settings, record, services, comp);
  if (!entry) return fail(utf8(p.component) + ": registers no Fulgora DSP entry");

  std::unique_ptr<sound_output> card = open_card(o, audio);
  std::atomic<bool> interrupted{false};
  board_watch watch(board_csv, o.board, o.fast && o.board, view, interrupted, total_seconds(audio));
  transport t(o, audio, watch, view, interrupted);
  // The store of played audio keeps seconds only: the picture's levels are
  // measured as the sound goes out.
  std::unique_ptr<heard_bands> heard;
  if (!p.plot.empty() && !o.fast) {
    heard = std::make_unique<heard_bands>(o.chunk, r.settings);
    t.bands = heard.get();
  }
  t.play_to(card.get());
  t.offer_clock(services.clock);
  dsp_preset_impl preset;
  preset.set_owner(fulgora_dsp_guid);
  // LIVE=1: the user's edits reach the component's copy while it plays;
  // followed from before the component opens its port, so an edit made as
  // soon as the port is open is never missed.
  const settings_follow follow(settings.source,
                               utf8(settings.workdir / "components" / "foo_Fulgora.ini"),
                               settings.board_port);
  service_ptr_t<dsp> instance;
  if (!entry->instantiate(instance, preset)) return fail("the DSP entry refused to instantiate");
  fulgora::notice_interrupts(&interrupted);
  std::string error;
  if (!t.run(*entry, preset, instance, error)) return fail(error);
  r.report = t.report;
  r.wall_s = t.since_start();
  r.reloads = reload_marks(view, follow, t);
  instance.release();  // the last reference: the board gets its closing command
  comp.unload();
  services.console.port_trouble = nullptr;  // it reads this run's settings
  r.heard_end_s = t.position();
  if (heard) {
    heard->cut(r.heard_end_s);
    r.bands = heard->samples();
  }
  services.clock.sound = nullptr;
  card.reset();  // after an interrupt, what it still holds goes unplayed
  if (o.board) {
    board.stop();  // it has flushed every row of its log
    watch.refresh(r.heard_end_s);
  }
  view.finish();
  r.console = services.console.first_lines();
  return finish(o, p, r, t, watch, services.console.reply_errors, audio);
}

// Everything between the options and the exit.
int play(const char* argv0, const options& o) {
  const run_paths p = resolve_paths(argv0, o);
  std::vector<decoded_audio> audio;
  std::string error;
  settings_state settings;
  if (!fulgora_tools::choose_settings(o.settings, utf8(p.component), settings.path, error) ||
      !outputs_allowed(p, settings.path, error))
    return fail(error);
  if (!decode_all(p.files, audio, error)) return fail(error);
  if (!times_within(o, total_seconds(audio), error)) return fail(error);
  if (!prepare_settings(settings, error)) return fail(error);
  board_child board;
  const std::string board_csv = utf8(settings.workdir / "board.csv");
  if (o.board && !start_board(p.self, board_csv, board, settings, error)) return fail(error);
  if (!enter_working_folder(settings, error)) return fail(error);
  component comp;
  if (!comp.open(utf8(p.component), error)) return fail(error);
  return run(o, p, audio, settings, board, board_csv, comp);
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) return 2;
  // A component (--component loads any) may throw out of its creation or its
  // run, and allocation may fail: caught here, so the stack unwinds.
  try {
    return play(argv[0], o);
  } catch (const std::exception& e) {
    return fail(std::string("stopped by an error from the component: ") + e.what());
  } catch (...) {
    return fail("stopped by an unknown error from the component");
  }
}
