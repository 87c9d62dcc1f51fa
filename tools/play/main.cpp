// fulgora-play: a stand-in for the player. Loads the component by path and
// uses only its export, as the player does; plays audio files through the
// DSP at the audio rate (or --fast) and checks that every chunk leaves it
// bit-identical. Standard output carries the component's console lines only;
// the stand-in's own messages go to standard error.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/registration.h"
#include "platform/process.h"
#include "tools/play/board_child.h"
#include "tools/play/chain_swap.h"
#include "tools/play/decoder.h"
#include "tools/play/extras.h"
#include "tools/play/options.h"
#include "tools/play/player_host.h"
#include "engine/led_settings.h"
#include "engine/settings_record.h"
#include "tools/common/settings_file.h"

namespace fs = std::filesystem;

namespace {

constexpr GUID fulgora_dsp_guid = {
    0x5263A499, 0x99DB, 0x4572, {0x81, 0x47, 0xD3, 0xEA, 0x27, 0x21, 0x9B, 0x12}};

int fail(const std::string& message) {
  std::fprintf(stderr, "fulgora-play: %s\n", message.c_str());
  return 1;
}

std::string utf8(const fs::path& p) {
  const auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

// Finds the registered service of a class through the client's list.
service_base* find_service(foobar2000_client* client, const GUID& clazz, service_ptr& holder) {
  for (service_factory_base* node = client->get_service_list(); node; node = node->get_next()) {
    if (node->get_class_guid() != clazz) continue;
    node->instance_create(holder);
    return holder.get();
  }
  return nullptr;
}

// The file and frame at a position in seconds of all the files as one stream.
void stream_cursor(const std::vector<fulgora_play::decoded_audio>& audio, double position,
                   size_t& file, size_t& at) {
  for (file = 0; file < audio.size(); ++file) {
    const auto& a = audio[file];
    const auto frame = static_cast<size_t>(std::llround(std::max(0.0, position) * a.rate));
    if (frame < a.frames) {
      at = frame;
      return;
    }
    position -= static_cast<double>(a.frames) / a.rate;
  }
  at = 0;
}

std::string swap_note(double at) {
  char note[160];
  std::snprintf(note, sizeof note,
                "fulgora-play: DSP chain swapped at %.2f s: a new instance made, the old one run "
                "once more with FLUSH and released\n",
                at);
  return note;
}

struct play_report {
  size_t chunks = 0;
  size_t changed = 0;
  bool interrupted = false;
};

// Everything between the options and the exit; its locals (the board child,
// the working folder) are undone on every way out, an exception included.
int play(const char* argv0, const fulgora_play::options& o) {

  std::error_code ec;
  const fs::path self = fs::absolute(fs::path(argv0), ec).lexically_normal();
  const fs::path component = o.component.empty()
                                 ? self.parent_path() / (std::string("foo_Fulgora") +
                                                         fulgora::library_suffix())
                                 : fs::absolute(o.component, ec);
  std::vector<fs::path> files;
  for (const auto& f : o.files) files.push_back(fs::absolute(f, ec));
  // Every path is resolved before the working folder changes.
  const fs::path plot = o.plot.empty() ? fs::path() : fs::absolute(o.plot, ec).lexically_normal();
  const fs::path log_path = o.log.empty() ? fs::path() : fs::absolute(o.log, ec).lexically_normal();

  // Decode everything first: a bad file is reported before anything plays.
  std::vector<fulgora_play::decoded_audio> audio(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    std::string error;
    if (fs::is_directory(files[i], ec)) return fail(utf8(files[i]) + ": a folder, not an audio file");
    if (!fulgora_play::decode_audio(utf8(files[i]), audio[i], error))
      return fail(utf8(files[i]) + ": " + error);
  }

  // The component reads components/foo_Fulgora.ini from the working folder,
  // as in the player's folder: give it a private one holding the file.
  // The copy in that folder is the only file it reads: FULGORA_INI, which
  // would win over it, goes.
  std::string settings_text, settings_path, settings_error;
  bool have_settings = false;
  if (!fulgora_tools::choose_settings(o.settings, utf8(component), settings_path, settings_error))
    return fail(settings_error);
#ifndef _WIN32
  unsetenv("FULGORA_INI");
#endif
  if (!settings_path.empty()) {
    std::ifstream in(fs::absolute(settings_path, ec), std::ios::binary);
    if (!in) return fail(settings_path + ": cannot read the settings file");
    settings_text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    have_settings = true;
  }
  // Said once the component is loaded: a failure before that is one line.
  std::vector<std::string> settings_notes;
  if (settings_path.empty())
    settings_notes.push_back("no settings file found (components/foo_Fulgora.ini, "
                             "foo_Fulgora.ini beside the component)");
  else
    settings_notes.push_back("settings from " + settings_path);
  if (!settings_path.empty())
    for (const std::string& finding : fulgora_tools::check_settings(settings_path))
      settings_notes.push_back(finding);
  const fs::path workdir =
      fs::temp_directory_path(ec) /
      ("fulgora-play-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(workdir / "components", ec);
  if (ec) return fail("cannot prepare a working folder: " + ec.message());
  struct remove_on_exit {
    fs::path dir;
    ~remove_on_exit() {
      std::error_code ignored;
      fs::current_path(dir.parent_path(), ignored);
      fs::remove_all(dir, ignored);
    }
  } cleanup{workdir};

  fulgora_play::board_child board;
  const std::string board_csv = utf8(workdir / "board.csv");
  if (o.board) {
    std::string device, error;
    const fs::path program = self.parent_path() / "fulgora-board";
    if (!board.start(utf8(program), board_csv, device, error)) return fail(error);
    // A file without [SETTING] stays so (the check below says it), so the
    // simulation does what the player would: nothing.
    fulgora_play::with_port(settings_text, device);
    have_settings = true;
    std::fprintf(stderr, "fulgora-play: simulated board on %s\n", device.c_str());
  }
  if (have_settings) {
    std::ofstream out(workdir / "components" / "foo_Fulgora.ini", std::ios::binary);
    out << settings_text;
    if (!out) return fail("cannot write the settings into the working folder");
    fs::current_path(workdir, ec);
  }

  std::string error;
  void* library = fulgora::open_library(utf8(component), error);
  if (!library) return fail(utf8(component) + ": cannot load: " + error);
  auto get_interface = reinterpret_cast<foobar2000_get_interface_t>(
      fulgora::library_symbol(library, "foobar2000_get_interface"));
  if (!get_interface) return fail(utf8(component) + ": has no foobar2000_get_interface export");

  fulgora_play::live_view view(fulgora::stdout_is_terminal(), fulgora::terminal_columns());
  // The labels follow the routing the component will use (its built-in one
  // when a value fails the load).
  fulgora::led_settings routing;
  if (have_settings) {
    fulgora::level_history unused;
    fulgora::load_settings(fulgora::read_settings(utf8(workdir / "components" / "foo_Fulgora.ini")),
                           routing, unused);
  }
  const int route[3] = {routing.LOW_LEDTYPE, routing.MID_LEDTYPE, routing.HI_LEDTYPE};
  for (int c = 0; c < 3; ++c) view.labels[c] = fulgora_play::channel_bands(c, route);
  static fulgora_play::player_services services;
  services.console.view = &view;
  foobar2000_client* client = get_interface(&services, library);
  client->set_library_path(utf8(component).c_str(), utf8(component.stem()).c_str());
  client->services_init(true);

  service_ptr version_holder, entry_holder;
  if (auto* version = static_cast<componentversion*>(
          find_service(client, componentversion::class_guid, version_holder))) {
    pfc::string8 name, number;
    version->get_component_name(name);
    version->get_component_version(number);
    std::fprintf(stderr, "fulgora-play: loaded %s %s from %s\n", name.get_ptr(), number.get_ptr(),
                 utf8(component).c_str());
  }
  for (const std::string& note : settings_notes) std::fprintf(stderr, "fulgora-play: %s\n", note.c_str());
  auto* entry = static_cast<dsp_entry*>(find_service(client, dsp_entry::class_guid, entry_holder));
  if (!entry || entry->get_guid() != fulgora_dsp_guid)
    return fail(utf8(component) + ": registers no Fulgora DSP entry");

  // The heard clock is the player's from the start: the DSP asks for it when
  // it is created.
  const auto start = std::chrono::steady_clock::now();
  fulgora_play::output_model output(o.buffer_ms / 1000.0);
  services.clock.start = start;
  services.clock.step_s = o.clock_step_ms / 1000.0;
  if (!o.fast) services.clock.output = &output;

  dsp_preset_impl preset;
  preset.set_owner(fulgora_dsp_guid);
  service_ptr_t<dsp> instance;
  if (!entry->instantiate(instance, preset)) return fail("the DSP entry refused to instantiate");

  std::atomic<bool> interrupted{false};
  fulgora::notice_interrupts(&interrupted);
  play_report report;
  double total_seconds = 0;
  for (const auto& a : audio) total_seconds += static_cast<double>(a.frames) / a.rate;
  fulgora_play::board_log log(board_csv);
  std::vector<fulgora_play::board_record> records;
  unsigned channels[3] = {0, 0, 0};
  auto refresh = [&](double at) {
    if (o.board) {
      const size_t before = records.size();
      log.poll(at, records);
      if (records.size() > before) std::memcpy(channels, records.back().ch, sizeof channels);
    }
    view.status(at, total_seconds, o.board ? channels : nullptr, log.levels);
  };
  auto last_refresh = std::chrono::steady_clock::now();
  // --fast with a board: a chunk waits until its command has reached the
  // board (and the reply the worker), so the next finds the worker idle.
  // A component that sends nothing (edges that do not fit) stops the pacing.
  bool pace_by_board = o.fast && o.board;
  int unanswered = 0;
  auto pace = [&](double at_s) {
    const long before = log.levels;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
    while (log.levels == before && !interrupted && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      log.poll(at_s, records);
    }
    if (log.levels == before) {
      pace_by_board = ++unanswered < 3;
      return;
    }
    unanswered = 0;
    std::memcpy(channels, records.back().ch, sizeof channels);
    // The worker reads the reply within a few milliseconds, then is idle; a
    // chunk offered before that passes unmeasured (a busy machine).
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  };
  fulgora_play::chunk_list list;
  audio_chunk_impl chunk;
  double played_seconds = 0;  // audio that went through the DSP
  auto since_start = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  size_t file = 0, at = 0;  // where the next chunk starts
  bool seek_pending = o.seek_at >= 0, pause_pending = o.pause_at >= 0;
  bool swap_pending = o.swap_at >= 0;
  double resume_at = -1;
  while (!interrupted) {
    const double now = since_start();
    if (!o.fast) {
      const double heard = output.heard_position(now);
      if (pause_pending && heard >= o.pause_at) {
        output.pause(now);
        pause_pending = false;
        resume_at = now + o.pause_for;
      } else if (resume_at >= 0 && now >= resume_at) {
        output.resume(now);
        resume_at = -1;
      }
      if (seek_pending && heard >= o.seek_at) {
        seek_pending = false;
        // The player empties its output, then tells the DSP; decoding goes on
        // from the new position.
        output.seek(now, o.seek_to);
        instance->flush();
        stream_cursor(audio, o.seek_to, file, at);
      }
    }
    const bool more = file < audio.size();
    if (!more && (o.fast || (output.drained(now) && resume_at < 0))) break;
    if (more && (o.fast || output.wants_more(now))) {
      const auto& a = audio[file];
      const size_t frames = std::min<size_t>(o.chunk, a.frames - at);
      const audio_sample* source = a.samples.data() + at * a.channels;
      chunk.set_data(source, frames, a.channels, a.rate);
      list.set(&chunk);
      const bool last_of_file = at + frames >= a.frames;
      int flags = last_of_file ? dsp::END_OF_TRACK : 0;
      if (last_of_file && file + 1 == audio.size()) flags |= dsp::FLUSH;
      const double position = o.fast ? played_seconds : output.heard_position(since_start());
      if (swap_pending && position >= o.swap_at) {
        swap_pending = false;
        if (!fulgora_play::run_swapping_chain(*entry, preset, instance, &list, flags))
          return fail("the DSP entry refused to instantiate the new chain's DSP");
        view.aside(swap_note(position));
      } else {
        instance->run(&list, metadb_handle_ptr(), flags);
      }
      ++report.chunks;
      const bool same = list.get_count() == 1 && list.get_item(0) == &chunk &&
                        std::memcmp(chunk.get_data(), source,
                                    sizeof(audio_sample) * frames * a.channels) == 0;
      report.changed += !same;
      const double seconds = static_cast<double>(frames) / a.rate;
      played_seconds += seconds;
      if (!o.fast) output.write(since_start(), seconds);
      if (pace_by_board && a.channels == 2) pace(played_seconds);
      at += frames;
      if (last_of_file) {
        ++file;
        at = 0;
      }
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (std::chrono::steady_clock::now() - last_refresh > std::chrono::milliseconds(40)) {
      last_refresh = std::chrono::steady_clock::now();
      refresh(o.fast ? played_seconds : output.heard_position(since_start()));
    }
  }
  report.interrupted = interrupted;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  instance.release();  // the last reference: the board gets its closing command
  client->services_init(false);
  entry_holder.release();
  version_holder.release();
  fulgora::close_library(library);  // as the player unloads its components
  const double heard_end = o.fast ? played_seconds : output.heard_position(since_start());
  if (o.board) {
    board.stop();  // it has flushed every row of its log
    refresh(heard_end);
  }
  view.finish();

  // Each line fits 80 columns.
  std::fprintf(stderr, "fulgora-play: %s: %zu chunks, %.1f s; audio bit-identical: %s\n",
               report.interrupted ? "interrupted" : "done", report.chunks, played_seconds,
               report.changed == 0 ? "yes" : "NO");
  if (o.board) {
    const long errors = services.console.reply_errors;
    std::fprintf(stderr, "fulgora-play: board got %ld level commands (%.1f/s), %ld closing\n",
                 log.levels, wall > 0 ? log.levels / wall : 0.0, log.closings);
    std::fprintf(stderr, "fulgora-play: replies accepted: %ld, refused or broken: %ld\n",
                 std::max(0L, log.levels + log.closings - errors), errors);
  }
  if (!log_path.empty()) {
    const double start_s = std::chrono::duration<double>(start.time_since_epoch()).count();
    if (!fulgora_play::write_heard_log(board_csv, utf8(log_path), start_s, output))
      return fail(utf8(log_path) + ": cannot write the log");
    std::fprintf(stderr, "fulgora-play: board log written to %s\n", utf8(log_path).c_str());
  }
  if (!plot.empty()) {
    if (!fulgora_play::write_plot(utf8(plot), records, heard_end,
                                  "foo_Fulgora: " + utf8(files.front().filename()), view.labels))
      return fail(utf8(plot) + ": cannot write the picture");
    std::fprintf(stderr, "fulgora-play: picture written to %s\n", utf8(plot).c_str());
  }
  if (report.interrupted) return fulgora::interrupted_exit_status();
  return report.changed == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  fulgora_play::options o;
  if (!fulgora_play::parse(argc, argv, o)) return 2;
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
