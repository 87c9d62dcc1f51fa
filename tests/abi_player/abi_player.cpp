// A test player built the way foobar2000 is (MSVC's C++ ABI, no runtime of
// ours): loads foo_Fulgora.dll and drives it through the player's own
// interfaces, one printed and counted check at a time; exits non-zero on any
// failure. Environment: FULGORA_ABI_DLL (the DLL), FULGORA_ABI_PORT (a COM
// port with a board simulator on it), FULGORA_ABI_BOARD_CSV (that board's log).
#include "tests/abi_player/session.h"

namespace {

constexpr GUID foreign_guid = {0x0BADF00D, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// Uniform noise of whole multiples of amplitude / 1024: exact in both sample
// widths, and the low half of every double is zero, so a component reading
// doubles as floats sees the high halves as loud samples, never as NaN.
void fill_noise(player_chunk& c, unsigned channels, t_size frames, audio_sample amplitude,
                unsigned seed) {
  c.channels = channels;
  c.config = channels == 2 ? 3 : 0;
  c.rate = 44100;
  c.frames = frames;
  c.size = frames * channels;
  c.data = static_cast<audio_sample*>(heap_alloc(c.size * sizeof(audio_sample) + 16));
  for (t_size i = 0; i < c.size; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int k = static_cast<int>((seed >> 16) % 2047u) - 1023;
    c.data[i] = static_cast<audio_sample>(k) * (amplitude / 1024);
  }
}

// --- load, client, registration -------------------------------------------

bool load(session& s, HANDLE* module) {
  wchar_t path[512];
  if (!check(read_env(L"FULGORA_ABI_DLL", path, 512), "FULGORA_ABI_DLL names the component"))
    return false;
  *module = LoadLibraryW(path);
  if (!check(*module != nullptr, "LoadLibraryW loads foo_Fulgora.dll")) return false;
  auto get = reinterpret_cast<foobar2000_get_interface_t>(
      GetProcAddress(*module, "foobar2000_get_interface"));
  if (!check(get != nullptr, "foobar2000_get_interface is exported")) return false;
  s.console = make<player_console>();
  s.vis = make<player_vis_manager>();
  s.outputs = make<player_output_manager>();
  player_api* api = make<player_api>(s.console, s.vis, s.outputs);
  s.client = get(api, *module);
  check(s.client != nullptr && get(api, *module) == s.client,
        "the export returns one client object");
  return s.client != nullptr;
}

void client_checks(session& s) {
  const t_uint32 v = s.client->get_version();
  out("  client version ");
  out_uint(v);
  out("\n");
  check(v == client_version, "client version is the player's for this width (80 or 78)");
  check(!s.client->is_debug(), "is_debug is false");
  s.client->set_library_path("C:\\players\\components\\foo_Fulgora.dll", "foo_Fulgora");
  s.client->services_init(true);

  player_writer w;
  s.client->get_config(&w, s.abort);
  check(w.written == 0, "get_config writes nothing");
}

void registration_checks(session& s) {
  service_factory_base* first = s.client->get_service_list();
  service_factory_base* second = first ? first->__internal__next : nullptr;
  check(first && same(first->m_guid, guid_dsp_entry), "first registration node is the DSP entry");
  check(second && same(second->m_guid, guid_componentversion),
        "second node is the component version");
  check(second && !second->__internal__next, "the list ends after two nodes");
  if (!second) return;
  service_ptr a = {nullptr}, b = {nullptr}, c = {nullptr}, d = {nullptr};
  first->instance_create(a);
  first->instance_create(b);
  second->instance_create(c);
  second->instance_create(d);
  check(a.m_ptr && a.m_ptr == b.m_ptr && c.m_ptr && c.m_ptr == d.m_ptr,
        "instance_create yields one object per node");
  s.entry = static_cast<dsp_entry*>(a.m_ptr);
  s.version = static_cast<componentversion*>(c.m_ptr);
}

// --- string operations: every result replaces what the string held --------

void string_checks(session& s) {
  player_string name("stale text"), file("stale text"), version("stale text"), about("stale text");
  s.entry->get_name(name);
  check(equal(name.text, dsp_name), "dsp_entry::get_name sets the DSP's name");
  s.version->get_file_name(file);
  check(equal(file.text, "foo_Fulgora"), "get_file_name sets the library's name");
  s.version->get_component_name(name);
  check(equal(name.text, component_name), "get_component_name sets the component's name");
  s.version->get_component_version(version);
  check(equal(version.text, component_version), "get_component_version sets its version");
  s.version->get_about_message(about);
  check(starts_with(about.text, about_sentence) && strlen(about.text) > strlen(about_sentence),
        "get_about_message sets the sentence and a copyright line");
}

// --- the DSP entry ----------------------------------------------------------

void entry_checks(session& s) {
  service_ptr q = {nullptr};
  check(s.entry->service_query(q, guid_dsp_entry_v2) && q.m_ptr == s.entry,
        "entry answers dsp_entry_v2");
  drop(q);
  check(s.entry->service_query(q, guid_dsp_entry) && q.m_ptr == s.entry, "entry answers dsp_entry");
  drop(q);
  check(!s.entry->service_query(q, guid_dsp_v2) && !q.m_ptr, "entry refuses dsp_v2");
  const GUID g = s.entry->get_guid();
  out("  get_guid ");
  out_hex(g.Data1);
  out("\n");
  check(same(g, dsp_guid), "get_guid returns the DSP's identifier");
  check(!s.entry->have_config_popup(), "have_config_popup is false");
  {
    player_preset p(dsp_guid, "abc");
    player_edit_callback edits;
    const bool changed = static_cast<dsp_entry_v2*>(s.entry)->show_config_popup(p, nullptr);
    static_cast<dsp_entry_v2*>(s.entry)->show_config_popup_v2(p, nullptr, edits);
    check(!changed && edits.changes == 0 && same(p.owner, dsp_guid) && p.size == 3,
          "show_config_popup and show_config_popup_v2 change nothing");
  }

  if (!check(write_settings("PORTNAME=\r\n"), "settings file without a port written")) return;
  player_preset preset(foreign_guid, "xyz");
  const bool got = s.entry->get_default_preset(preset);
  check(got && same(preset.owner, dsp_guid) && preset.size == 0,
        "get_default_preset: owner is the DSP, no data");

  player_preset with_data(dsp_guid, "abc"), foreign(foreign_guid, "");
  struct {
    const char* what;
    const player_preset* preset;
    bool made;
  } cases[] = {
      {"instantiate from the default preset", &preset, true},
      {"instantiate from a preset with data", &with_data, true},
      {"instantiate refuses a foreign preset", &foreign, false},
  };
  for (auto& c : cases) {
    sentinel_dsp held;
    service_ptr_t<dsp> out_ref = {&held};
    DWORD code;
    const bool made = instantiate(s, *c.preset, out_ref, &code);
    const bool ok = code == 0 && made == c.made &&
                    (c.made ? out_ref.m_ptr && out_ref.m_ptr != &held && held.refs == 0
                            : out_ref.m_ptr == &held && held.refs == 1);
    check(ok, c.what);
    if (!c.made || !out_ref.m_ptr || out_ref.m_ptr == &held) continue;
    dsp* d = out_ref.m_ptr;
    service_ptr v = {nullptr};
    check(d->service_query(v, guid_dsp_v2) && v.m_ptr == d && drop(v) >= 1 &&
              d->service_query(v, guid_dsp) && v.m_ptr == d && drop(v) >= 1 &&
              !d->service_query(v, guid_componentversion) && !v.m_ptr,
          "the DSP answers dsp_v2 and dsp, refuses others");
    check(d->get_latency() == 0.0 && !d->need_track_change_mark(),
          "latency 0, no track-change mark");
    check(drop(out_ref) == 0, "releasing the last reference reports 0");
  }
}

// --- chunk lists through run and run_v2 --------------------------------------

void list_checks(session& s) {
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> out_ref = {nullptr};
  DWORD code;
  if (!check(instantiate(s, preset, out_ref, &code) && code == 0, "DSP for the chunk lists"))
    return;
  auto* d = static_cast<dsp_v2*>(out_ref.m_ptr);
  for (int pass = 0; pass < 2; ++pass) {
    player_chunk* chunks = static_cast<player_chunk*>(heap_alloc(7 * sizeof(player_chunk)));
    const unsigned channels[7] = {2, 0, 2, 2, 1, 6, 2};
    for (int i = 0; i < 7; ++i) {
      new (&chunks[i]) player_chunk();
      fill_noise(chunks[i], channels[i], 300 + 17 * i, 0.5, 7 + i);
    }
    chunks[2].rate = 0;
    chunks[3].frames = 0;
    player_list list;
    for (int i = 0; i < 7; ++i) list.items[list.count++] = &chunks[i];
    audio_sample* copies[7];
    for (int i = 0; i < 7; ++i) {
      copies[i] = static_cast<audio_sample*>(heap_alloc(chunks[i].size * sizeof(audio_sample) + 1));
      memcpy(copies[i], chunks[i].data, chunks[i].size * sizeof(audio_sample));
    }
    code = guarded([&] {
      if (pass == 0)
        d->run(&list, s.no_track, dsp::END_OF_TRACK);
      else
        d->run_v2(&list, s.no_track, dsp::END_OF_TRACK | dsp::FLUSH, s.abort);
    });
    const int kept[4] = {0, 4, 5, 6};
    bool ok = code == 0 && list.count == 4 && list.other_calls == 0;
    for (int k = 0; ok && k < 4; ++k) {
      const player_chunk& c = chunks[kept[k]];
      ok = list.items[k] == &c && c.writes == 0 && c.channels == channels[kept[k]] &&
           memcmp(c.data, copies[kept[k]], c.size * sizeof(audio_sample)) == 0;
    }
    check(ok, pass == 0 ? "run: empty chunks removed, the rest kept bit-identical"
                        : "run_v2: empty chunks removed, the rest kept bit-identical");
    player_list empty;
    code = guarded([&] { d->run_v2(&empty, s.no_track, 0, s.abort); });
    if (pass == 1) check(code == 0 && empty.other_calls == 0, "run_v2 on an empty list");
  }
  check(drop(out_ref) == 0, "chunk-list DSP released");
}

// --- configuration streams ----------------------------------------------------

void config_checks(session& s) {
  // Two records (identifier, 32-bit length, data), then a 7-byte tail.
  unsigned char records[16 + 4 + 5 + 16 + 4 + 7];
  memset(records, 0x5a, sizeof records);
  const unsigned char len5[4] = {5, 0, 0, 0}, len0[4] = {0, 0, 0, 0};
  memcpy(records + 16, len5, 4);
  memcpy(records + 16 + 4 + 5 + 16, len0, 4);
  player_reader whole(records, sizeof records);
  DWORD code = guarded([&] { s.client->set_config(&whole, s.abort); });
  check(code == 0 && whole.at == whole.size,
        "set_config reads two records and stops at the short tail");

  unsigned char truncated[16 + 4 + 10];
  memset(truncated, 0x33, sizeof truncated);
  const unsigned char len100[4] = {100, 0, 0, 0};
  memcpy(truncated + 16, len100, 4);
  player_reader short_data(truncated, sizeof truncated);
  code = guarded([&] { s.client->set_config(&short_data, s.abort); });
  out("  truncated record: ");
  out_hex(code);
  out("\n");
  check(code == player_exception,
        "set_config: the player's exception from skip_object reaches the player");
  player_reader short_length(truncated, 16 + 2);
  code = guarded([&] { s.client->set_config(&short_length, s.abort); });
  check(code == player_exception,
        "set_config: the player's exception from read_object reaches the player");
  check(s.client->get_version() == client_version, "the client still answers after the exceptions");
}

// --- measured audio on a board ---------------------------------------------------

void board_checks(session& s) {
  if (!check(write_board_settings(s, ""), "settings file naming the board's port")) return;
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> out_ref = {nullptr};
  DWORD code;
  s.console->length = 0;
  s.console->log[0] = 0;
  if (!check(instantiate(s, preset, out_ref, &code) && code == 0, "DSP on the board's port"))
    return;
  check(contains(s.console->log, "successful com open."), "console: \"successful com open.\"");
  auto* d = static_cast<dsp_v2*>(out_ref.m_ptr);

  player_chunk loud, quiet;
  fill_noise(loud, 2, 4096, 1.0, 11);
  fill_noise(quiet, 2, 4096, 1.0 / 131072, 12);  // about -100 dB
  board_state b;
  bool fed = false;
  code = guarded([&] { fed = feed_until_measured(s, d, loud, &b); });
  show(b);
  check(code == 0 && fed && (b.last[0] >= 32 || b.last[1] >= 32 || b.last[2] >= 32),
        "loud noise gives a lit level command");
  code = guarded([&] { fed = feed_until_measured(s, d, quiet, &b); });
  show(b);
  check(code == 0 && fed && b.last[0] <= 4 && b.last[1] <= 4 && b.last[2] <= 4,
        "near-silence gives a dark level command");

  // Far more frames than memory can hold: the capture cannot allocate. The
  // pause lets the worker finish its cycle, so the capture is attempted.
  Sleep(300);
  player_chunk huge;
  fill_noise(huge, 2, 4096, 1.0, 1);
  huge.frames = t_size(1) << (sizeof(t_size) * 8 - 2);
  huge.size = huge.frames * 2;
  player_list list;
  list.items[list.count++] = &huge;
  code = guarded([&] { d->run_v2(&list, s.no_track, 0, s.abort); });
  check(code == 0 && list.count == 1 && list.items[0] == &huge && huge.writes == 0,
        "a chunk too large to capture: run_v2 returns, the chunk stays");
  code = guarded([&] { fed = feed_until_measured(s, d, loud, &b); });
  show(b);
  check(code == 0 && fed && (b.last[0] >= 32 || b.last[1] >= 32 || b.last[2] >= 32),
        "after it, loud noise is measured again");

  check(drop(out_ref) == 0 && contains(s.console->log, "successful com close."),
        "release closes the port: \"successful com close.\"");
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < 10000 && !read_board(s).last_is_closing;)
    Sleep(20);
  check(read_board(s).last_is_closing, "the board's last command is the closing command");
}

// --- sync mode: commands wait for the player's playback clock --------------------

// An instance added during playback: the clock at 20 s, the core's output
// buffer 1 s; the chunks it passes are played a buffer after the clock.
void added_during_playback_checks(session& s, const player_preset& preset, player_chunk& loud) {
  player_clock& clock = s.vis->clock;
  clock.now_ms = 20000;
  clock.played_then = &loud;
  clock.then_ms = 21000;
  const int asked = s.outputs->asked;
  service_ptr_t<dsp> out_ref = {nullptr};
  DWORD code;
  if (!check(instantiate(s, preset, out_ref, &code) && code == 0, "DSP added during playback"))
    return;
  check(s.outputs->asked == asked + 1 && s.outputs->refs == 0,
        "getCoreConfig asked once, the output manager released");
  auto* d = static_cast<dsp_v2*>(out_ref.m_ptr);
  const int before = read_board(s).level_commands;
  code = guarded([&] {
    for (int i = 0; i < 8; ++i) {
      player_list list;
      list.items[list.count++] = &loud;
      d->run_v2(&list, s.no_track, 0, s.abort);
      Sleep(5);
    }
  });
  // Half a buffer on: were its place the clock's 20 s (or 0), blocks would be due.
  clock.now_ms = 20500;
  const long queried = clock.queries;
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < 30000 && clock.queries - queried < 200;)
    Sleep(5);
  board_state b = read_board(s);
  check(code == 0 && b.level_commands == before, "half a buffer past the clock: no level command");
  clock.now_ms = 22000;
  // Playing on at the clock's pace: a clock that stands is a pause.
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < 30000 && b.level_commands == before;) {
    Sleep(5);
    clock.now_ms = clock.now_ms + 5;
    b = read_board(s);
  }
  show(b);
  check(b.level_commands > before && (b.last[0] >= 32 || b.last[1] >= 32 || b.last[2] >= 32),
        "a buffer past the clock: a lit level command");
  clock.played_then = nullptr;
  check(drop(out_ref) == 0 && clock.refs == 0, "release gives the stream back");
}

void sync_checks(session& s) {
  if (!check(write_board_settings(s, "SYNC=1\r\n"),
             "settings file with SYNC=1 naming the board's port"))
    return;
  player_clock& clock = s.vis->clock;
  clock.now_ms = 0;  // playback has just started: nothing of it heard yet
  const int streams = s.vis->streams;
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> out_ref = {nullptr};
  DWORD code;
  if (!check(instantiate(s, preset, out_ref, &code) && code == 0,
             "DSP in sync mode on the board's port"))
    return;
  check(s.vis->streams == streams + 1 && clock.refs == 1 && s.vis->refs == 0,
        "create_stream called once; the stream kept, the manager released");
  auto* d = static_cast<dsp_v2*>(out_ref.m_ptr);

  // Eight blocks, played from 5 s on the clock's time line (what the
  // output held before them is not played audio the stream has).
  const int before = read_board(s).level_commands;
  player_chunk loud;
  fill_noise(loud, 2, 4096, 1.0, 21);
  clock.played_then = &loud;
  clock.then_ms = 5000;
  code = guarded([&] {
    for (int i = 0; i < 8; ++i) {
      player_list list;
      list.items[list.count++] = &loud;
      d->run_v2(&list, s.no_track, 0, s.abort);
      Sleep(5);
    }
  });
  // The worker measures one block per cycle and asks the clock in each one
  // that holds a queued block: many queries after the last chunk mean every
  // block has been queued and found not yet due.
  const long queried = clock.queries;
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < 30000 && clock.queries - queried < 200;)
    Sleep(5);
  check(code == 0 && clock.queries - queried >= 200, "the worker queries get_absolute_time");
  board_state b = read_board(s);
  show(b);
  check(b.level_commands == before, "clock held before the blocks: no level command");

  clock.now_ms = 10000;
  // Playing on at the clock's pace: a clock that stands is a pause.
  for (const DWORD start = GetTickCount();
       GetTickCount() - start < 30000 && b.level_commands == before;) {
    Sleep(5);
    clock.now_ms = clock.now_ms + 5;
    b = read_board(s);
  }
  show(b);
  check(b.level_commands > before && (b.last[0] >= 32 || b.last[1] >= 32 || b.last[2] >= 32),
        "clock past the blocks: a lit level command");
  clock.played_then = nullptr;
  check(drop(out_ref) == 0 && clock.refs == 0, "release gives the stream back");
  added_during_playback_checks(s, preset, loud);
}

// --- sync mode: the lights from the played audio ----------------------------------

// Silent chunks through the DSP while the player's stream serves loud noise:
// a lit command can only come from what get_chunk_absolute served. The
// clock runs at the audio's pace, the chunks a buffer ahead of it.
void played_audio_checks(session& s) {
  if (!check(write_board_settings(s, "SYNC=1\r\n"),
             "settings file with SYNC=1 naming the board's port"))
    return;
  player_clock& clock = s.vis->clock;
  player_chunk loud, silent;
  fill_noise(loud, 2, 4096, 1.0, 31);
  fill_noise(silent, 2, 4096, 0, 32);
  clock.now_ms = 0;
  clock.served = clock.fakes = 0;
  clock.played = &loud;
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> out_ref = {nullptr};
  DWORD code;
  if (!check(instantiate(s, preset, out_ref, &code) && code == 0, "DSP in sync mode, played audio"))
    return;
  auto* d = static_cast<dsp_v2*>(out_ref.m_ptr);
  const int before = read_board(s).level_commands;
  board_state b = read_board(s);
  bool lit = false;
  long fed_ms = 0;
  code = guarded([&] {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 30000 && !lit;) {
      for (; fed_ms < clock.now_ms + 1000; fed_ms += 4096 * 1000 / 44100) {
        player_list list;
        list.items[list.count++] = &silent;
        d->run_v2(&list, s.no_track, 0, s.abort);
      }
      Sleep(20);
      clock.now_ms = clock.now_ms + 20;
      b = read_board(s);
      lit = b.level_commands > before && (b.last[0] >= 32 || b.last[1] >= 32 || b.last[2] >= 32);
    }
  });
  show(b);
  out("  get_chunk_absolute served ");
  out_uint(static_cast<unsigned>(clock.served));
  out(" chunks\n");
  check(code == 0 && lit, "silent chunks, loud played audio: a lit level command");
  check(clock.fakes == 0, "make_fake_chunk_absolute and make_fake_spectrum_absolute never called");
  check(drop(out_ref) == 0 && clock.refs == 0, "release gives the stream back");
  clock.played = nullptr;
}

// --- an allocation failure while the settings load ------------------------------

void settings_oom_checks(session& s) {
  if (!write_settings("PORTNAME=NOSUCHPORT9\r\nENHANCER_MEAN_COUNT=2147483647\r\n")) return;
  player_preset preset(dsp_guid, "");
  service_ptr_t<dsp> out_ref = {nullptr};
  DWORD code;
  s.console->length = 0;
  s.console->log[0] = 0;
  const bool made = instantiate(s, preset, out_ref, &code);
  out("  instantiate: ");
  out_hex(code);
  out("\n");
  check(code == 0, "unopenable port and a history too large to allocate: instantiate returns");
  check(contains(s.console->log, "failed CreateFile."), "console: \"failed CreateFile.\"");
  if (!made || !out_ref.m_ptr) return;
  player_chunk c;
  fill_noise(c, 2, 1024, 0.5, 3);
  player_list list;
  list.items[list.count++] = &c;
  code =
      guarded([&] { static_cast<dsp_v2*>(out_ref.m_ptr)->run_v2(&list, s.no_track, 0, s.abort); });
  check(code == 0 && list.count == 1 && drop(out_ref) == 0,
        "that DSP passes audio and is released");
}

}  // namespace

extern "C" void player_entry() {
  session& s = *make<session>();
  HANDLE module = nullptr;
  wchar_t port[64];
  if (read_env(L"FULGORA_ABI_PORT", port, 64))
    for (int i = 0; port[i] && i < 63; ++i) s.port[i] = static_cast<char>(port[i]);
  read_env(L"FULGORA_ABI_BOARD_CSV", s.board_csv, 512);

  if (load(s, &module)) {
    struct {
      const char* name;
      void (*run)(session&);
    } sections[] = {
        {"client", client_checks},
        {"registration", registration_checks},
        {"strings", string_checks},
        {"entry", entry_checks},
        {"chunk lists", list_checks},
        {"configuration", config_checks},
        {"board", board_checks},
        {"sync", sync_checks},
        {"played audio", played_audio_checks},
        {"chain swap", swap_checks},
        {"track marks", track_marks_checks},
        {"second chain", second_chain_checks},
        {"settings allocation", settings_oom_checks},
    };
    for (auto& section : sections) {
      if (section.run != client_checks && section.run != registration_checks && !s.entry) break;
      out("-- ");
      out(section.name);
      out("\n");
      const DWORD code = guarded([&] { section.run(s); });
      if (code) {
        out("  exception ");
        out_hex(code);
        out(" left the component\n");
        check(false, section.name);
      }
    }
    check(FreeLibrary(module) != 0, "FreeLibrary unloads the component");
  }
  out(failures() ? "abi player: FAILED " : "abi player: passed ");
  out_uint(static_cast<unsigned>(checks() - failures()));
  out(" of ");
  out_uint(static_cast<unsigned>(checks()));
  out(" checks\n");
  ExitProcess(failures() ? 1 : 0);
}
