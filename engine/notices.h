// The console lines that say why the lights stay dark, each printed at most
// once per engine: a settings value that fails the load, no settings file,
// audio that is not stereo, an analysis whose band edges do not fit.
//
// Threads: the audio thread only notes a chunk it does not measure (relaxed
// atomics: no lock, no print, no allocation); the worker prints that line on
// its next turn. The creating thread prints the settings lines. Every line
// goes to the sink it is built with (the engine's: its serial link's).
#pragma once

#include <atomic>
#include <cstddef>

#include "analysis/band_analyzer.h"
#include "engine/settings_record.h"
#include "serial/serial_link.h"

namespace fulgora {

class engine_notices {
 public:
  // Every line goes to sink (null: dropped).
  explicit engine_notices(line_sink sink) : say_(sink) {}
  engine_notices(const engine_notices&) = delete;
  engine_notices& operator=(const engine_notices&) = delete;

  // Audio thread.
  void note_channels(unsigned channels) noexcept {
    if (channels != 2 && unmeasured_channels_.load(std::memory_order_relaxed) == no_count)
      unmeasured_channels_.store(channels, std::memory_order_relaxed);
  }
  // Worker: the not-stereo line, once, when a chunk was noted.
  void tell_channels();
  // Worker, after a failed analysis: the band-edge line, once; a fault of
  // the bin width only when the analyser's longest block shows it.
  void tell_failed_analysis(const band_analyzer& analyzer);
  // Creating thread: one line each.
  void tell_settings_fault(const settings_fault& fault) const;
  // Creating thread, after the fault line: each other bad key of the file,
  // one line each.
  void tell_other_bad_keys(const settings_record& record) const;
  void tell_no_settings_file() const;
  // Any other line of the engine's.
  void tell(const char* line) const { say_line(say_, line); }

 private:
  static constexpr unsigned no_count = ~0u;
  const line_sink say_;
  // Channel count of the first chunk not measured for not being stereo.
  std::atomic<unsigned> unmeasured_channels_{no_count};
  bool told_channels_ = false;  // worker only
  bool told_edges_ = false;     // worker only
};

// The texts without the console's first word and full stop, cut to size;
// they allocate nothing. no_levels_text is false (and writes nothing) when
// the analysis lacked a block rather than fitting band edges.
void channels_text(unsigned channels, char* out, size_t size);
bool no_levels_text(const band_analyzer& analyzer, char* out, size_t size);
void settings_fault_text(const settings_fault& fault, char* out, size_t size);
// A key's name (null: none), as the console prints it.
void key_text(const wchar_t* key, char* out, size_t size);

}  // namespace fulgora
